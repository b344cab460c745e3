#include "processcounters.h"

#include <QFile>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    // Read as a whole: /proc files have no size to go by.
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

qint64 heapInUseBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

DescriptorCounts openDescriptors()
{
    DIR *directory = opendir("/proc/self/fd");
    if (!directory)
        return {-1, -1};
    DescriptorCounts counts;
    const int own = dirfd(directory); // open only while listing
    while (const dirent *entry = readdir(directory)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own)
            continue;
        ++counts.open;
        char target[64] = {};
        const QByteArray path = QByteArray("/proc/self/fd/") + entry->d_name;
        const ssize_t length = readlink(path.constData(), target, sizeof target - 1);
        if (length > 0 && std::strncmp(target, "socket:[", 8) == 0)
            ++counts.sockets;
    }
    closedir(directory);
    return counts;
}

QSet<quint16> loopbackClientPorts(const QByteArray &tcpTable, quint16 remotePort)
{
    // "  sl  local_address rem_address   st ..." then rows such as
    // "   3: 0100007F:A1B2 0100007F:1F90 01 ..."; addresses in hex, the
    // address in the kernel's byte order, state 01 = established.
    const QByteArray loopback = "0100007F";
    QSet<quint16> ports;
    for (const QByteArray &row : tcpTable.split('\n')) {
        const QList<QByteArray> fields = row.simplified().split(' ');
        if (fields.size() < 4 || fields.at(3) != "01")
            continue;
        const QList<QByteArray> local = fields.at(1).split(':');
        const QList<QByteArray> remote = fields.at(2).split(':');
        if (local.size() != 2 || remote.size() != 2 || remote.at(0) != loopback || local.at(0) != loopback)
            continue;
        bool remoteOk = false;
        bool localOk = false;
        const uint remoteValue = remote.at(1).toUInt(&remoteOk, 16);
        const uint localValue = local.at(1).toUInt(&localOk, 16);
        if (remoteOk && localOk && remoteValue == remotePort)
            ports.insert(quint16(localValue));
    }
    return ports;
}

QSet<quint16> loopbackClientPorts(quint16 remotePort)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    return loopbackClientPorts(table.readAll(), remotePort);
}
