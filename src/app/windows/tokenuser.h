#pragma once

#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The user a process runs as: its token's TOKEN_USER record, empty when it cannot be read.
inline std::string tokenUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string user(size, '\0');
    if (!size || !::GetTokenInformation(token, TokenUser, user.data(), size, &size))
        user.clear();
    ::CloseHandle(token);
    return user;
}

inline PSID userSid(const std::string &tokenUser)
{
    return tokenUser.empty() ? nullptr
                             : reinterpret_cast<const TOKEN_USER *>(tokenUser.data())->User.Sid;
}
