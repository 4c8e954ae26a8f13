#version 120
// Smoke and beams. A beam of light is seen by what it lights up: where the smoke is thick the
// beam glows brighter and spreads a little into the haze, in thin air only a faint line is
// left. The beam picture holds colour already weighted by its alpha.
uniform sampler2D texSmoke;   // unit 0
uniform sampler2D texLasers;  // unit 1

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec4 smoke = texture2D(texSmoke, uv);
    vec3 beams = texture2D(texLasers, uv).rgb;
    float density = clamp(smoke.r * 1.4, 0.0, 1.0);
    vec3 lit = beams * (0.8 + 2.2 * density);
    gl_FragColor = vec4(smoke.rgb * (1.0 + 0.6 * beams) + lit, 1.0);
}
