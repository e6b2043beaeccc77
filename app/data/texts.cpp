// The credit pairs and the scroller's text block.

#include "app/credits.h"

const char creditProduction[] = "A Dazerava\0production";
const char creditMusic[] = "Music:\0Quillabor";
const char creditCode[] = "Code:\0dazerava";

// 36 entries: 15 blank lines, a greeting, a blank, five lines, a blank,
// three lines, a blank and nine contact lines; then the end byte.
const char scrollText[] = "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
                          "Greetings from Veltrane!\0"
                          "\0"
                          "Three spheres, one light and a red floor,\0"
                          "traced again for every pixel of every\0"
                          "frame, as fast as your machine allows.\0"
                          "The music comes from our own player,\0"
                          "mixed in software two seconds ahead.\0"
                          "\0"
                          "Thanks to everyone who runs it, on big\0"
                          "screens and on small ones alike. Press\0"
                          "Esc whenever you have seen enough.\0"
                          "\0"
                          "Write to us:\0"
                          "Dazerava - dazerava@example.org\0"
                          "Quillabor - quillabor@example.org\0"
                          "Code - code@example.org\0"
                          "Music - music@example.org\0"
                          "Bug reports - bugs@example.org\0"
                          "News - news@example.org\0"
                          "Web - www.example.org\0"
                          "See you in the next one!\0"
                          "\x01";
