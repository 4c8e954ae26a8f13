#version 120
// An attractor figure: every pixel starts an orbit of a de Jong map there and glows by how
// close the orbit keeps to a slowly wandering trap point, which draws the map's tangled curves.
// The map's four parameters turn slowly with "time" (smooth from beat to beat); a jump of 100
// turns each by more than a radian, so every note index shows a different figure. "intensity"
// (0.5 at rest, up to 2.5 on a note) brightens and thickens the figure. Alpha is 0 away from
// the figure, so it lies over whatever is drawn already.
uniform float time;
uniform float intensity;

const int steps = 6;

void main()
{
    vec2 p = (gl_TexCoord[0].st - 0.5) * vec2(4.4, 3.2);
    float a = 1.4 + 0.9 * sin(time * 0.0131 + 0.3);
    float b = -2.3 + 0.8 * sin(time * 0.0173 + 1.9);
    float c = 2.4 + 0.7 * sin(time * 0.0097 + 4.1);
    float d = -2.1 + 0.9 * sin(time * 0.0151 + 2.7);
    vec2 trap = 0.6 * vec2(sin(time * 0.051), cos(time * 0.037));

    vec2 z = p;
    float glow = 0.0;
    float hue = 0.0;
    for (int i = 0; i < steps; ++i) {
        z = vec2(sin(a * z.y) - cos(b * z.x), sin(c * z.x) - cos(d * z.y));
        float near = 1.0 / (1.0 + 60.0 * dot(z - trap, z - trap));
        glow += near;
        hue += near * float(i);
    }
    hue /= max(glow, 1e-4) * float(steps);
    glow /= float(steps);

    float strength = clamp(glow * intensity * 9.0, 0.0, 1.0);
    vec3 colour = mix(vec3(0.2, 0.55, 1.0), vec3(1.0, 0.45, 0.8), hue) + vec3(0.6) * strength * strength;
    gl_FragColor = vec4(colour, smoothstep(0.15, 1.0, strength)) * gl_Color;
}
