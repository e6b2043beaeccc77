// The font atlas, embedded from the committed binary file font_atlas.rgba.

#include "app/font.h"

// FONT_ATLAS_FILE is the atlas's absolute path, given by the build.
asm(".section .rodata\n"
    ".balign 16\n"
    ".global fontImage\n"
    ".type fontImage, @object\n"
    "fontImage:\n"
    ".incbin \"" FONT_ATLAS_FILE "\"\n"
    ".size fontImage, . - fontImage\n"
    ".previous\n");
