// The page's audio device behind player/web_output.cpp. A Web Audio context
// at the mix rate plays the ring from its first frame, over and over: the
// device hands the context the whole ring when it starts, then each block as
// soon as the mixer has written it again, to be played back to back. A block
// is handed over only once it holds its new music, so nothing is heard
// stale or twice, and up to two seconds are queued, so the music plays on
// through a main loop that stalls for less than that. The frames played are
// the context's clock since the start, less the gaps.
//
// A longer stall lets the queue run dry. The device then waits on the last
// frame it played: to the mixer every other block of the ring has been heard
// and needs new music, and the device plays that music as soon as it comes,
// a moment later, its clock waiting for it. The page's clock keeps to this
// one, so the picture waits too.
//
// Everything plays through one gain node, so that muting silences the music
// while its clock, and the picture with it, runs on.
mergeInto(LibraryManager.library, {
  $webAudio: {
    context: null,
    rate: 0,
    ring: 0, // the ring's address in the heap
    ringFrames: 0,
    firstFrame: 0, // the context's frame at which the ring's frame 0 plays
    writtenFrames: 0, // frames of music in the ring since the start
    queuedFrames: 0, // frames handed to the context since the start
    playedFrames: 0, // the clock's last reading: it never goes back
    sources: [],
    output: null, // the gain node every run plays through
    muted: false,
    playing: false,
    pausedByPage: false, // the page is hidden
    held: false, // the player holds the music
    startDelaySeconds: 0.05,
    gapLeadSeconds: 0.02, // how soon music plays after a gap: time to mix what follows it

    framesPlayed: function() {
      if (!webAudio.playing) return 0;
      var now = Math.floor(webAudio.context.currentTime * webAudio.rate + 0.5);
      var played = Math.min(now - webAudio.firstFrame, webAudio.queuedFrames - 1);
      webAudio.playedFrames = Math.max(webAudio.playedFrames, played);
      return webAudio.playedFrames;
    },

    // Music whose time has passed unqueued was not heard: it starts a moment
    // from now instead, and the clock waits for it.
    queueRun: function(at, count) {
      var context = webAudio.context;
      var rate = webAudio.rate;
      var gap = Math.ceil(context.currentTime * rate) -
                (webAudio.firstFrame + webAudio.queuedFrames);
      if (gap > 0) {
        gap += Math.ceil(webAudio.gapLeadSeconds * rate);
        webAudio.firstFrame += gap;
      }
      var buffer = context.createBuffer(2, count, rate);
      var left = buffer.getChannelData(0);
      var right = buffer.getChannelData(1);
      var value = (webAudio.ring >> 1) + 2 * at;
      for (var frame = 0; frame < count; ++frame, value += 2) {
        left[frame] = HEAP16[value] / 32768;
        right[frame] = HEAP16[value + 1] / 32768;
      }
      var source = context.createBufferSource();
      source.buffer = buffer;
      source.connect(webAudio.output);
      source.onended = function() {
        var index = webAudio.sources.indexOf(source);
        if (index >= 0) webAudio.sources.splice(index, 1);
      };
      source.start((webAudio.firstFrame + webAudio.queuedFrames) / rate);
      webAudio.sources.push(source);
      webAudio.queuedFrames += count;
    },

    queueWritten: function() {
      while (webAudio.queuedFrames < webAudio.writtenFrames) {
        var at = webAudio.queuedFrames % webAudio.ringFrames;
        var count = Math.min(webAudio.writtenFrames - webAudio.queuedFrames,
                             webAudio.ringFrames - at);
        webAudio.queueRun(at, count);
      }
    },

    // The page pauses the music while it is hidden, and the player may hold
    // it: either keeps the context suspended, and the music goes on from
    // where it stood when neither does.
    pause: function(paused) {
      webAudio.pausedByPage = paused;
      webAudio.suspendOrResume();
    },

    suspendOrResume: function() {
      var context = webAudio.context;
      if (!webAudio.playing || !context) return;
      var still = webAudio.pausedByPage || webAudio.held;
      (still ? context.suspend() : context.resume()).catch(function() {});
    },

    // The page's mute holds across starts, each of which opens a new context.
    mute: function(muted) {
      webAudio.muted = muted;
      if (webAudio.output) webAudio.output.gain.value = muted ? 0 : 1;
    },
  },

  // The page may mute before the first start.
  $webAudio__postset: "Module['audioMute'] = webAudio.mute;",

  webAudioOpen__deps: ['$webAudio'],
  webAudioOpen: function(rate) {
    var AudioContext = window.AudioContext || window.webkitAudioContext;
    if (!AudioContext) return 0;
    try {
      webAudio.context = new AudioContext({sampleRate: rate});
    } catch (error) {
      return 0;
    }
    if (webAudio.context.sampleRate != rate) {
      webAudio.context.close();
      webAudio.context = null;
      return 0;
    }
    webAudio.rate = rate;
    webAudio.output = webAudio.context.createGain();
    webAudio.output.connect(webAudio.context.destination);
    webAudio.mute(webAudio.muted);
    Module['audioContext'] = webAudio.context;
    Module['audioGain'] = webAudio.output;
    Module['audioFramesPlayed'] = webAudio.framesPlayed;
    Module['audioPause'] = webAudio.pause;
    return 1;
  },

  // The whole ring holds music when the device starts.
  webAudioStart__deps: ['$webAudio'],
  webAudioStart: function(ring, ringFrames) {
    var context = webAudio.context;
    webAudio.ring = ring;
    webAudio.ringFrames = ringFrames;
    webAudio.firstFrame =
        Math.ceil((context.currentTime + webAudio.startDelaySeconds) * webAudio.rate);
    webAudio.queuedFrames = 0;
    webAudio.playedFrames = 0;
    webAudio.writtenFrames = ringFrames;
    webAudio.playing = true;
    webAudio.pausedByPage = document.hidden;
    webAudio.queueWritten();
    webAudio.suspendOrResume();
  },

  webAudioRingWritten__deps: ['$webAudio'],
  webAudioRingWritten: function(frames) {
    webAudio.writtenFrames += frames;
    webAudio.queueWritten();
  },

  webAudioFramesPlayed__deps: ['$webAudio'],
  webAudioFramesPlayed: function() {
    return webAudio.framesPlayed();
  },

  webAudioStop__deps: ['$webAudio'],
  webAudioStop: function() {
    webAudio.playing = false;
    webAudio.sources.forEach(function(source) {
      source.onended = null;
      source.stop();
      source.disconnect();
    });
    webAudio.sources = [];
  },

  webAudioHold__deps: ['$webAudio'],
  webAudioHold: function(held) {
    webAudio.held = !!held;
    webAudio.suspendOrResume();
  },

  webAudioClose__deps: ['$webAudio'],
  webAudioClose: function() {
    if (webAudio.context) webAudio.context.close();
    webAudio.context = null;
    webAudio.output = null;
    webAudio.held = false;
  },
});
