#pragma once

class QProcess;

// A command and whatever it starts, ended together: on Unix the command
// leads a process group of its own, on Windows it is put into a job object.
namespace CommandTree {

// Before start(): on Unix the command gets its own group, and its standard
// output joins its standard error.
void prepare(QProcess *process);
// Right after start(): on Windows the command goes into a job of its own.
void adopt(QProcess *process);
// Ends the command and everything it started, and waits a moment for it.
void end(QProcess *process);
// The command has ended by itself: what it left running is left alone.
void release(QProcess *process);

} // namespace CommandTree
