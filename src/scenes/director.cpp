// PLACEHOLDER Director (see director.h).
#include "scenes/director.h"

#include <GL/glew.h>

#include "main/frame_clock.h"
#include "main/loading_screen.h"
#include "main/settings.h"

bool quit_posted = false;

Director::Director(int window_width, int window_height, float aspect, bool capture,
                   int sync_client)
    : window_width(window_width),
      window_height(window_height),
      aspect(aspect),
      capture(capture),
      sync_client(sync_client) {
    frame_clock.init();
}

void Director::reshape(int width, int height) {
    window_width = width;
    window_height = height;
    glViewport(0, 0, width, height);
}

void Director::start() {
    loading_screen.fade_out();
    start_seconds = frame_clock.seconds();
}

void Director::frame() {
    if (quit_posted) return;
    frame_clock.tick();
    // --until ends the run as if the music had ended there.
    if (run_options.until_seconds > 0 &&
        frame_clock.last_time - start_seconds >= run_options.until_seconds) {
        SDL_Event quit;
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
        quit_posted = true;
        return;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapBuffers();
    ++frame_number;
}
