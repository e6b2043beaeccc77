# The sources that the native and the web builds share, relative to the
# project's top folder. Each build adds its own audio output, font embedding
# and platform pieces.

# The module player: no GL, no window, no audio device.
set(VELTRANE_PLAYER_SOURCES
    player/allocation.cpp
    player/blockfill.cpp
    player/effects.cpp
    player/loader.cpp
    player/loop_watch.cpp
    player/memory_file.cpp
    player/mixer.cpp
    player/mixer_simd.cpp
    player/playback.cpp
    player/sequencer.cpp
    player/song.cpp
    player/song_render.cpp
    player/songfile.cpp
    player/volume_column.cpp)

# The application without its entry point, its font image and its window
# system mends.
set(VELTRANE_APP_SOURCES
    app/app.cpp
    app/credits.cpp
    app/data/texts.cpp
    app/frame.cpp
    app/graphics.cpp
    app/scene.cpp
    app/text.cpp)

# The same lists with the top folder in front.
function(veltrane_sources variable root)
    list(TRANSFORM ${variable} PREPEND ${root}/ OUTPUT_VARIABLE sources)
    set(${variable}_IN ${sources} PARENT_SCOPE)
endfunction()
