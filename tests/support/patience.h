#pragma once

// How long a test or a benchmark waits for what should come soon: a reply,
// a file, a line, a process's start or end. Generous, because the machine
// running them may be busy and Wine is slower still; a run that passes
// never waits this long.
constexpr int patienceMs = 30000;
