#include "app/app.h"

Song *loadedSong = nullptr;
int32_t windowWidth = 0;
int32_t windowHeight = 0;
