// zorvane: the presentation, and the authoring modes behind its command line.
#include "main/startup.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
    line_buffer_standard_output();
    map_large_blocks_on_their_own();
    return zorvane_main(argc, argv);
}
