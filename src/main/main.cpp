// zorvane: the presentation, and the authoring modes behind its command line.
#include <malloc.h>

#include "main/startup.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
    line_buffer_standard_output();
    // Render targets, decoded images and the driver's texture storage are megabytes each and
    // many are let go during loading. Left to itself the C library raises its threshold for
    // mapping blocks of their own to the largest one freed, after which such blocks come from the
    // heap and what is freed stays resident (28 MB at 1280x720); a fixed threshold gives each back.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    return zorvane_main(argc, argv);
}
