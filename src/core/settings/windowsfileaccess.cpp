#include "windowsfileaccess.h"

#include "core/settings/windowsuser.h"

#include <QDir>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

QString WindowsFileAccess::userOnlySddl(const QString &userSid)
{
    // D: the access list, P: protected; (A;;FA;;;X): allow X full access.
    return QStringLiteral("D:P(A;;FA;;;%1)(A;;FA;;;SY)(A;;FA;;;BA)").arg(userSid);
}

QString WindowsFileAccess::restrictToCurrentUser(const QString &path)
{
    const QString user = WindowsUser::current();
    if (user.isEmpty())
        return QStringLiteral("this process's account is not known");

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(reinterpret_cast<LPCWSTR>(userOnlySddl(user).utf16()),
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return qt_error_string(int(GetLastError()));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);

    std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD result = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                               nullptr, acl, nullptr);
    LocalFree(descriptor);
    return result == ERROR_SUCCESS ? QString() : qt_error_string(int(result));
}
