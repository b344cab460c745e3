#pragma once

#include <QSet>
#include <QString>

// What a long run of this process holds on to, read from /proc: memory,
// open descriptors and TCP connections.

// Resident memory of this process (VmRSS), in bytes; 0 if unknown.
qint64 residentBytes();

// Bytes the C library's allocator has handed out and not got back.
qint64 heapInUseBytes();

struct DescriptorCounts
{
    int open = 0; // all open file descriptors
    int sockets = 0; // of which sockets of any kind
};

// This process's open descriptors; -1 in both if /proc cannot be read.
DescriptorCounts openDescriptors();

// Local ports of the established IPv4 TCP connections to `remotePort` on
// 127.0.0.1, as the kernel lists them in `tcpTable` (the text of
// /proc/net/tcp). Each is one client connection to a loopback service.
QSet<quint16> loopbackClientPorts(const QByteArray &tcpTable, quint16 remotePort);

// The same, read from this machine's /proc/net/tcp.
QSet<quint16> loopbackClientPorts(quint16 remotePort);
