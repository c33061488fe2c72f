#pragma once
// What RECORDER's editor shows about the take in progress: composed by the file room from the
// recorder's counters, painted by the editor.

#include <string>

namespace kestravel::plugins {

struct TakePanel {
    bool shown = false;    // armed, recording, capturing the tail, or failed
    bool failed = false;   // the failure comes first, in red
    bool lowSpace = false; // under ten minutes left on the disk at the take's rate
    std::string take;      // "Take 0:01:23 | 45.6 MB | dropped 0"
    std::string disk;      // "Disk: 2:13:05 left at 1.5 MB/s"
};

} // namespace kestravel::plugins
