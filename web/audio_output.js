// The page's audio device behind player/web_output.cpp. A Web Audio context
// at the mix rate plays the ring from its first frame, over and over: the
// device hands the context the whole ring when it starts, then each block as
// soon as the mixer has written it again, to be played back to back. A block
// is handed over only once it holds its new music, so nothing is heard
// stale, and up to two seconds are queued, so the music plays on through a
// main loop that stalls. The frames played are the context's clock since the
// start. While the page is hidden the context is suspended: the music stops
// where it is, the clock with it, and both go on from there.
mergeInto(LibraryManager.library, {
  $webAudio: {
    context: null,
    rate: 0,
    ring: 0, // the ring's address in the heap
    ringFrames: 0,
    firstFrame: 0, // the context's frame at which the ring's frame 0 plays
    writtenFrames: 0, // frames of music in the ring since the start
    queuedFrames: 0, // frames handed to the context since the start
    sources: [],
    playing: false,
    held: false, // the player holds the music: it stays still while the page shows
    startDelaySeconds: 0.05,

    framesPlayed: function() {
      if (!webAudio.playing) return 0;
      var now = Math.floor(webAudio.context.currentTime * webAudio.rate + 0.5);
      return Math.max(0, Math.min(now - webAudio.firstFrame, webAudio.queuedFrames));
    },

    // Frames whose time has passed unqueued were not heard: the device
    // catches up by starting the rest later, and its clock waits with it.
    queueRun: function(at, count) {
      var context = webAudio.context;
      var late = Math.ceil(context.currentTime * webAudio.rate) -
                 (webAudio.firstFrame + webAudio.queuedFrames);
      if (late > 0) webAudio.firstFrame += late;
      var buffer = context.createBuffer(2, count, webAudio.rate);
      var left = buffer.getChannelData(0);
      var right = buffer.getChannelData(1);
      var value = (webAudio.ring >> 1) + 2 * at;
      for (var frame = 0; frame < count; ++frame, value += 2) {
        left[frame] = HEAP16[value] / 32768;
        right[frame] = HEAP16[value + 1] / 32768;
      }
      var source = context.createBufferSource();
      source.buffer = buffer;
      source.connect(context.destination);
      source.onended = function() {
        var index = webAudio.sources.indexOf(source);
        if (index >= 0) webAudio.sources.splice(index, 1);
      };
      source.start((webAudio.firstFrame + webAudio.queuedFrames) / webAudio.rate);
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

    followVisibility: function() {
      if (!webAudio.playing) return;
      var still = document.hidden || webAudio.held;
      var change = still ? webAudio.context.suspend() : webAudio.context.resume();
      change.catch(function() {});
    },
  },

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
    if (!webAudio.followsVisibility) {
      document.addEventListener('visibilitychange', webAudio.followVisibility);
      webAudio.followsVisibility = true;
    }
    Module['audioContext'] = webAudio.context;
    Module['audioFramesPlayed'] = webAudio.framesPlayed;
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
    webAudio.writtenFrames = ringFrames;
    webAudio.playing = true;
    webAudio.queueWritten();
    webAudio.followVisibility();
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
    webAudio.followVisibility();
  },

  webAudioClose__deps: ['$webAudio'],
  webAudioClose: function() {
    if (webAudio.context) webAudio.context.close();
    webAudio.context = null;
    webAudio.held = false;
  },
});
