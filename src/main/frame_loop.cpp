#include "main/frame_loop.h"

bool warp_pending = false;
