// zorvane: the presentation, and the authoring modes behind its command line.
#include "main/startup.h"

int main(int argc, char** argv) { return zorvane_main(argc, argv); }
