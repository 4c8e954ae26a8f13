#version 120
// Red, green, blue: the eye-space normal mapped to 0..1. Alpha: nearness, 1 at the near plane
// falling to 1/255 at the far one, so that 0 (what the cleared target holds) means nothing
// was drawn there.
varying vec3 normal;
varying float depth;

void main()
{
    vec3 n = normalize(normal);
    gl_FragColor = vec4(n * 0.5 + 0.5, max(1.0 - clamp(depth, 0.0, 1.0), 1.0 / 255.0));
}
