#include "commands.h"

#include "core/settings/settingslocation.h"
#include "ctl/commandtable.h"
#include "ctl/console.h"
#include "ctl/exitcode.h"
#include "ctl/serverstore.h"

int runCommand(const CtlRequest &request)
{
    if (!request.settingsFile.isEmpty())
        SettingsLocation::setFilePath(request.settingsFile);
    ServerStore store(SettingsLocation::filePath());
    const QString unreadable = store.read();
    if (!unreadable.isEmpty())
        return Console::fail(ExitStore, unreadable);
    return CommandTable::find(request.command)->run(request, store);
}
