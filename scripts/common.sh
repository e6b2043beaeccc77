# Shared by run-intro, run-tests and capture: installing what is missing and building.

set -euo pipefail

projectDir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# What building the intro and its tools needs.
buildPackages="g++ make cmake libgl-dev libglu1-mesa-dev freeglut3-dev libglew-dev
    libx11-dev libpng-dev libgl1-mesa-dri libglx-mesa0 libsdl2-dev"
# What a screen without a display needs: a virtual X server.
headlessPackages="xvfb"
# What the video capture adds: FFmpeg's libraries (with their H.264 encoder),
# found through pkg-config.
capturePackages="pkg-config libavformat-dev libavcodec-dev libswscale-dev libavutil-dev"
# What the tests add: the test libraries, clang with its sanitizer runtime.
testPackages="libgtest-dev libbenchmark-dev clang libclang-rt-14-dev xvfb libfreetype-dev
    fonts-dejavu-extra $capturePackages"

# What building the web page needs: Emscripten, and Python to serve the page.
webPackages="emscripten cmake make python3"
# What testing the page adds: Chromium and WebKitGTK with their drivers, driven
# from Python; Firefox ESR, driven by puppeteer-core from npm (installed by
# installNpmPackages); a virtual X server for the two that draw in windows;
# PulseAudio, whose null sink keeps Firefox's audio clock in real time.
webTestPackages="chromium chromium-driver python3-selenium firefox-esr webkit2gtk-driver xvfb
    pulseaudio"
command -v npm >/dev/null || webTestPackages="$webTestPackages nodejs npm"

say() { printf '\033[1m== %s\033[0m\n' "$*"; }

missingPackages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed" ||
            echo "$package"
    done
}

# Installs the Debian packages that are not installed yet, through sudo when
# not root.
installPackages() {
    local missing
    missing=$(missingPackages "$@" | tr '\n' ' ')
    [ -n "${missing// /}" ] || return 0
    local asRoot=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || {
            echo "These Debian packages are missing: $missing" >&2
            echo "Install them as root (apt-get install $missing), or install sudo." >&2
            exit 1
        }
        asRoot=(sudo)
    fi
    say "Installing $missing"
    # Another apt-get may hold the package lock for a while: wait for it.
    local wait=(-o DPkg::Lock::Timeout=600)
    "${asRoot[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" update -q
    # shellcheck disable=SC2086
    "${asRoot[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get "${wait[@]}" install -y -q --no-install-recommends $missing
}

# Installs the npm packages that browsers/package-lock.json pins into
# build-npm/, unless they are there already.
installNpmPackages() {
    local folder=$projectDir/build-npm pinned=$projectDir/browsers
    if [ -d "$folder/node_modules" ] && cmp -s "$pinned/package.json" "$folder/package.json" &&
        cmp -s "$pinned/package-lock.json" "$folder/package-lock.json"; then
        return 0
    fi
    say "Installing the npm packages into $folder"
    mkdir -p "$folder"
    cp "$pinned/package.json" "$pinned/package-lock.json" "$folder/"
    (cd "$folder" && npm ci --no-audit --no-fund --loglevel=error)
}

# configureAndBuild BUILD_DIR "CMAKE_OPTIONS" [TARGET...]
configureAndBuild() {
    local buildDir=$1 options=$2
    shift 2
    say "Configuring $buildDir"
    # shellcheck disable=SC2086
    cmake -S "$projectDir" -B "$buildDir" $options >/dev/null
    say "Building $buildDir"
    if [ $# -gt 0 ]; then
        cmake --build "$buildDir" -j "$jobs" --target "$@"
    else
        cmake --build "$buildDir" -j "$jobs"
    fi
}
