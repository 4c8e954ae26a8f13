// zorvane-tool music: what the engine makes of a soundtrack.
#include <cstdio>

#include "commands.h"
#include "util/data/data.h"
#include "util/music/music.h"

int run_music_info(int, char** argv) {
    if (!readable_file(argv[0])) return 1;
    set_datafile_mode(DATAFILE_MODE_NONE);
    Music music(argv[0], static_cast<float>(SOUNDTRACK_BPM), 0.0f, false, 0);
    const AudioFormat& f = music.audio_format;
    double seconds = f.channels && f.samples_per_second
                         ? static_cast<double>(music.sample_count) / f.channels / f.samples_per_second
                         : 0.0;
    printf("channels %u rate %u samples %u seconds %.3f\n", f.channels, f.samples_per_second,
           music.sample_count, seconds);
    return 0;
}
