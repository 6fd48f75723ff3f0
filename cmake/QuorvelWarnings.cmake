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
if(WIN32)
  # One .exe that needs no DLL beside it: the compiler's runtime linked in, as Qt is.
  target_link_options(quorvel_settings INTERFACE -static)
  # UNICODE as Qt builds it; the Win32 code must not rely on it either way.
  target_compile_definitions(quorvel_settings INTERFACE UNICODE _UNICODE NOMINMAX)
endif()
