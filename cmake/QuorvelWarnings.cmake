# Applied to every target of ours through quorvel_settings.
add_library(quorvel_settings INTERFACE)
target_compile_options(quorvel_settings INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(quorvel_settings INTERFACE
  QT_NO_KEYWORDS QT_NO_FOREACH QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(QUORVEL_WERROR)
  target_compile_options(quorvel_settings INTERFACE -Werror)
endif()
if(QUORVEL_SANITIZE)
  target_compile_options(quorvel_settings INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(quorvel_settings INTERFACE -fsanitize=address,undefined)
endif()
