// The few OpenGL 1.x and GLU calls the intro makes that Emscripten's GL
// emulation lacks or gets wrong, built on the emulation's own state: the
// attribute stack the text overlays push and pop, glRectf, glClearDepth,
// gluLookAt, the texture environment's float setter and glShadeModel.
mergeInto(LibraryManager.library, {
  $glAttributeStack: [],

  glPushAttrib__deps: ['$glAttributeStack', '$GLImmediate', '$GLEmulation'],
  glPushAttrib: function(mask) {
    glAttributeStack.push({
      mask: mask,
      colour: GLImmediate.clientColor.slice(),
      matrixMode: GLImmediate.currentMatrix,
      lighting: GLEmulation.lightingEnabled,
      texture2d: GLImmediate.TexEnvJIT.getTexUnitType(0) == 0x0DE1,
      depthTest: GLctx.isEnabled(GLctx.DEPTH_TEST),
      blend: GLctx.isEnabled(GLctx.BLEND),
    });
  },

  // Restores the current colour (GL_CURRENT_BIT), the matrix mode
  // (GL_TRANSFORM_BIT) and the switches the text changes (GL_ENABLE_BIT).
  glPopAttrib__deps: ['$glAttributeStack', 'glEnable', 'glDisable', 'glColor4f', 'glMatrixMode'],
  glPopAttrib: function() {
    var saved = glAttributeStack.pop();
    if (!saved) return;
    if (saved.mask & 0x1) {
      _glColor4f(saved.colour[0], saved.colour[1], saved.colour[2], saved.colour[3]);
    }
    if (saved.mask & 0x1000) _glMatrixMode(0x1700 + saved.matrixMode);
    if (saved.mask & 0x2000) {
      var switches = [[0x0B50, saved.lighting], [0x0DE1, saved.texture2d],
                      [0x0B71, saved.depthTest], [0x0BE2, saved.blend]];
      switches.forEach(function(entry) {
        if (entry[1]) _glEnable(entry[0]); else _glDisable(entry[0]);
      });
    }
  },

  glRectf__deps: ['glBegin', 'glVertex2f', 'glEnd'],
  glRectf: function(x1, y1, x2, y2) {
    _glBegin(0x0007 /* GL_QUADS */);
    _glVertex2f(x1, y1);
    _glVertex2f(x2, y1);
    _glVertex2f(x2, y2);
    _glVertex2f(x1, y2);
    _glEnd();
  },

  // The emulation's own version hands its arguments to the matrix library
  // in the wrong order and changes nothing; this one multiplies the current
  // matrix by the view, as GLU does.
  gluLookAt__deps: ['$GLImmediate'],
  gluLookAt: function(eyeX, eyeY, eyeZ, centreX, centreY, centreZ, upX, upY, upZ) {
    var mat4 = GLImmediate.matrixLib.mat4;
    var view = mat4.lookAt([eyeX, eyeY, eyeZ], [centreX, centreY, centreZ], [upX, upY, upZ]);
    var current = GLImmediate.currentMatrix;
    GLImmediate.matricesModified = true;
    GLImmediate.matrixVersion[current] = (GLImmediate.matrixVersion[current] + 1) | 0;
    mat4.multiply(GLImmediate.matrix[current], view);
  },

  glClearDepth__deps: ['glClearDepthf'],
  glClearDepth: function(depth) {
    _glClearDepthf(depth);
  },

  // The emulation's float setter of the texture environment knows only the
  // colour scales and warns on every other name, GL_TEXTURE_ENV_MODE among
  // them, which the frame sets each time; its integer setter knows them all,
  // and an enumerant passed as a float is the same value.
  mendTextureEnvironment__deps: ['$GLImmediate'],
  mendTextureEnvironment: function() {
    GLImmediate.TexEnvJIT.hook_texEnvf = GLImmediate.TexEnvJIT.hook_texEnvi;
  },

  // Every primitive the intro draws has one colour at all its vertices, so
  // flat and smooth shading agree; the emulation has no flat shading and
  // would warn that it ignores the call.
  glShadeModel: function(mode) {},
});
