#version 120
// Screen-space ambient occlusion. Around each pixel a kernel of points in a small sphere is
// reflected about the pixel's random vector from the tiled noise texture and kept in the
// hemisphere of its normal; each point's screen position is looked up in the normal-depth
// picture. A sample occludes when it lies in front of the pixel by more than `falloff` and less
// than `strength` (in the picture's 0..1 depth), and the more its normal turns away from the
// pixel's own; neighbours on the same plane share the normal and so never darken each other,
// which also hides the steps of the 8-bit depth.
//
// Out: red the unoccluded fraction (1 open, toward 0 in creases); green the ambient light
// the pixel would get unoccluded, from the sky above and the viewer, so faces of a cube
// differ; blue 1 where geometry was drawn and 0 on the background.
uniform sampler2D normalMap;  // unit 0: normal (rgb) and nearness (a, 0 where nothing is)
uniform sampler2D rnm;        // unit 1: random unit vectors
uniform float totStrength;
uniform float strength;
uniform float offset;         // how many times the noise repeats across the picture
uniform float falloff;
uniform float rad;            // kernel radius at depth 1, in picture widths

const int SAMPLES = 8;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec4 here = texture2D(normalMap, uv);
    if (here.a == 0.0) {
        gl_FragColor = vec4(1.0, 1.0, 0.0, 1.0);
        return;
    }
    vec3 norm = normalize(here.rgb * 2.0 - 1.0);
    float depth = 1.0 - here.a;
    vec3 fres = normalize(texture2D(rnm, uv * offset).rgb * 2.0 - 1.0);
    // Near things cover more of the picture, so their kernel does too.
    float radius = rad / max(depth, 0.02);

    float occlusion = 0.0;
    for (int i = 0; i < SAMPLES; ++i) {
        // A spiral through the unit ball: golden-angle turns, growing radius, all heights.
        float fi = float(i) + 0.5;
        float z = 1.0 - 2.0 * fi / float(SAMPLES);
        float r = sqrt(1.0 - z * z);
        float angle = 2.39996 * fi;
        vec3 point = vec3(r * cos(angle), r * sin(angle), z) * mix(0.25, 1.0, fi / float(SAMPLES));
        vec3 ray = radius * reflect(point, fres);
        vec2 at = uv + sign(dot(ray, norm)) * ray.xy;
        vec4 other = texture2D(normalMap, at);
        if (other.a == 0.0) continue;
        float difference = depth - (1.0 - other.a);
        float turned = 1.0 - dot(normalize(other.rgb * 2.0 - 1.0), norm);
        occlusion += step(falloff, difference) * turned * (1.0 - smoothstep(falloff, strength, difference));
    }
    float open = clamp(1.0 - totStrength * occlusion / float(SAMPLES), 0.0, 1.0);
    float ambient = 0.55 + 0.3 * max(norm.y, 0.0) + 0.15 * max(norm.z, 0.0);
    gl_FragColor = vec4(open, ambient, 1.0, 1.0);
}
