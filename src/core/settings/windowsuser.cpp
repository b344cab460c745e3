#include "windowsuser.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

namespace {

// A SID made from text, freed with its owner.
class Sid
{
public:
    explicit Sid(const QString &text)
    {
        if (!text.isEmpty())
            ConvertStringSidToSidW(reinterpret_cast<LPCWSTR>(text.utf16()), &sid);
    }
    ~Sid() { LocalFree(sid); }
    Sid(const Sid &) = delete;
    Sid &operator=(const Sid &) = delete;

    PSID get() const { return sid; }

private:
    PSID sid = nullptr;
};

QString sidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return QString();
    const QString result = QString::fromWCharArray(text);
    LocalFree(text);
    return result;
}

QString tokenUser(HANDLE token)
{
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return QString();
    std::vector<unsigned char> buffer(size); // aligned as new aligns, enough for TOKEN_USER
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return QString();
    return sidText(reinterpret_cast<const TOKEN_USER *>(buffer.data())->User.Sid);
}

QString processUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return QString();
    const QString user = tokenUser(token);
    CloseHandle(token);
    return user;
}

} // namespace

bool WindowsUser::sameAccount(const QString &sid, const QString &otherSid)
{
    const Sid one(sid);
    const Sid other(otherSid);
    return one.get() && other.get() && EqualSid(one.get(), other.get());
}

QString WindowsUser::current()
{
    return processUser(GetCurrentProcess());
}

QString WindowsUser::ofProcess(quint32 processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return QString();
    const QString user = processUser(process);
    CloseHandle(process);
    return user;
}

QString WindowsUser::ofPipeServer(qintptr pipe)
{
    ULONG processId = 0;
    if (!GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(pipe), &processId))
        return QString();
    return ofProcess(processId);
}
