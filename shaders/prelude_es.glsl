// Opens the WebGL (GLSL ES 1.00) variant of each stage in place of the
// desktop version and extension lines. The glow's power of 1400 and the
// floor far away need every float and int in high precision.
precision highp float;
precision highp int;

