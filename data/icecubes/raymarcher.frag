#version 120
// Ice, ray-marched per pixel. rm_object picks what is shown:
//   0  a single ice cube (any number not listed below shows it too)
//   1  a cluster of nine small cubes, three by three, turned and raised each its own way
//   2  a rounded cube melting into a sphere over a small puddle
//   3  cubes in a field that repeats to the horizon, each turned its own way
// The object is turned by rm_obj_matrix (a rotation) and seen from a camera placed by
// rm_cam_matrix: the camera starts a little above the front of the object, looking at it, and
// the matrix moves and turns it, so a rotation alone orbits the object.
//
// The ice is shaded as clear glass tinted by rm_color: the view is refracted into the object,
// travels to its far side (absorbing the colours the tint lacks in proportion to the distance
// inside), and is refracted out to the surroundings; a fresnel term mixes in the reflection,
// strongest at grazing angles, which gives the bright rim. Ambient occlusion darkens creases
// between cubes; the floor takes a soft contact shadow.
//
// Every march is bounded (see the step counts below), so the cost per pixel is fixed.
uniform int rm_object;
uniform vec3 rm_color;
uniform mat4 rm_cam_matrix;
uniform mat4 rm_obj_matrix;

varying vec2 screen;

const int PRIMARY_STEPS = 48;
const int INSIDE_STEPS = 8;
const float FAR = 16.0;
const float FIELD_FAR = 11.0;  // the haze has all but hidden the field by here
const float HIT = 0.0015;
const float FLOOR_Y = -1.25;
const float IOR = 1.31;
const vec3 LIGHT = vec3(0.4472, 0.7746, 0.4472);

// ---- shapes ----------------------------------------------------------------------------------

float rounded_box(vec3 p, vec3 half_size, float r)
{
    vec3 q = abs(p) - half_size + r;
    return length(max(q, 0.0)) + min(max(q.x, max(q.y, q.z)), 0.0) - r;
}

float smooth_min(float a, float b, float k)
{
    float h = clamp(0.5 + 0.5 * (b - a) / k, 0.0, 1.0);
    return mix(b, a, h) - k * h * (1.0 - h);
}

// A value in 0..1 per cell, from arithmetic alone (no sine: it is paid at every step).
float hash(vec2 cell)
{
    vec3 p = fract(vec3(cell.xyx) * 0.1031);
    p += dot(p, p.yzx + 33.33);
    return fract((p.x + p.y) * p.z);
}

// A software rasteriser runs every branch of a program for every pixel, so the four objects
// are one distance function with the choice made by selects: each evaluation pays for the
// parts the objects share (folding space into cells, a melt, one box), never for four shapes.
float object(vec3 p)
{
    // Into the object's own frame: the inverse of a rotation is its transpose.
    p = (vec4(p, 0.0) * rm_obj_matrix).xyz;
    int shown = rm_object >= 1 && rm_object <= 3 ? rm_object : 0;
    bool is_cluster = shown == 1, is_melting = shown == 2, is_field = shown == 3;
    bool folded = is_cluster || is_field;

    // The cluster and the field fold space into square cells, 3 x 3 close ones for the
    // cluster, endless wide ones for the field; each cell's cube is turned about the vertical
    // by an angle from the cell's hash (a cosine and sine from a normalised pair, no trig),
    // every other one also leans over, and in the cluster they sit at varied heights.
    float size = is_cluster ? 1.4 : 3.2;
    vec2 cell = floor(p.xz / size + 0.5);
    cell = is_cluster ? clamp(cell, -1.0, 1.0) : cell;
    float h = hash(cell + (is_cluster ? 17.0 : 0.0));
    vec3 q = folded ? vec3(p.x - size * cell.x, p.y - (is_cluster ? h - 0.5 : 0.0) * 0.6, p.z - size * cell.y) : p;
    vec2 cs = folded ? normalize(vec2(h - 0.5, fract(h * 7.31) - 0.5) + vec2(1e-3, 0.0)) : vec2(1.0, 0.0);
    q = vec3(cs.x * q.x - cs.y * q.z, q.y, cs.y * q.x + cs.x * q.z);
    const mat3 tilted = mat3(0.9211, -0.3894, 0.0, 0.3894, 0.9211, 0.0, 0.0, 0.0, 1.0);
    q = folded && h > 0.5 ? tilted * q : q;

    float half_size = is_cluster ? 0.45 : is_field ? 0.6 : is_melting ? 0.85 : 0.9;
    float rounding = folded ? 0.08 : 0.12;
    float d = rounded_box(q, vec3(half_size), rounding);

    // Melting: square below, round above, the lower part keeping its edges while the top has
    // run; a thin disc of a puddle merged smoothly into the foot.
    float ball = length(q - vec3(0.0, -0.15, 0.0)) - 0.98;
    float melted = mix(d, ball, smoothstep(-0.8, 0.9, q.y));
    vec2 disc = vec2(length(q.xz) - 1.45, abs(q.y + 0.93) - 0.025);
    float puddle = min(max(disc.x, disc.y), 0.0) + length(max(disc, 0.0)) - 0.02;
    return is_melting ? smooth_min(melted, puddle, 0.25) : d;
}

vec3 surface_normal(vec3 p)
{
    const vec2 k = vec2(1.0, -1.0);
    const float h = 0.001;
    return normalize(k.xyy * object(p + k.xyy * h) + k.yyx * object(p + k.yyx * h) +
                     k.yxy * object(p + k.yxy * h) + k.xxx * object(p + k.xxx * h));
}

// Cheaper, for the far side seen through the ice: one-sided differences from a point on the
// surface, where the distance is nearly 0.
vec3 exit_surface_normal(vec3 p)
{
    const float h = 0.002;
    float here = object(p);
    return normalize(vec3(object(p + vec3(h, 0.0, 0.0)), object(p + vec3(0.0, h, 0.0)), object(p + vec3(0.0, 0.0, h))) - here);
}

// ---- surroundings ----------------------------------------------------------------------------

// A dark studio: a gradient sky with a few soft light panels (what the ice refracts and
// reflects), and a floor of faint tiles that fades into haze.
vec3 sky(vec3 d)
{
    vec3 c = mix(vec3(0.05, 0.06, 0.10), vec3(0.30, 0.42, 0.60), clamp(d.y * 0.8 + 0.4, 0.0, 1.0));
    // A warm glow along the horizon and tall light panels all around.
    c += vec3(0.55, 0.35, 0.25) * exp(-abs(d.y) * 9.0) * 0.6;
    float stripe = abs(fract(d.x * 1.6 + d.z * 0.9) - 0.5);
    float panels = smoothstep(0.40, 0.47, stripe) * smoothstep(0.0, 0.3, d.y);
    c += vec3(0.9, 0.95, 1.0) * panels;
    c += vec3(1.0, 0.9, 0.75) * pow(max(dot(d, LIGHT), 0.0), 60.0) * 3.0;
    return c;
}

vec3 floor_at(vec3 p, float distance_along, bool shadowed)
{
    vec2 tile = abs(fract(p.xz * 0.5) - 0.5);
    float line = smoothstep(0.47, 0.5, max(tile.x, tile.y));
    vec3 c = vec3(0.10, 0.11, 0.14) + vec3(0.25, 0.30, 0.40) * line;
    // Contact shadow: dark where the object is near above the floor.
    // (Only where the floor is seen directly: in the ice's reflections it would not show.)
    float above = shadowed ? object(p + vec3(0.0, 0.45, 0.0)) : 1.0;
    c *= 0.35 + 0.65 * smoothstep(0.0, 0.9, above);
    return mix(c, vec3(0.12, 0.14, 0.2), 1.0 - exp(-distance_along * 0.06));
}

vec3 surroundings(vec3 origin, vec3 d, bool shadowed)
{
    if (d.y < -0.001) {
        float t = (FLOOR_Y - origin.y) / d.y;
        if (t > 0.0) return floor_at(origin + d * t, t, shadowed);
    }
    return sky(d);
}

// ---- marching --------------------------------------------------------------------------------

// Distance along the ray to the surface, or -1 when it is missed.
float march(vec3 origin, vec3 d, float start, float end)
{
    float t = start;
    for (int i = 0; i < PRIMARY_STEPS; ++i) {
        float h = object(origin + d * t);
        if (h < HIT * t) return t;
        t += h * 0.9;
        if (t > end) break;
    }
    return -1.0;
}

// Where a ray that entered at p leaves the object again, and how far it went inside.
vec3 leave(vec3 p, vec3 d, out float travelled)
{
    float t = 0.02;
    for (int i = 0; i < INSIDE_STEPS; ++i) {
        float h = -object(p + d * t);
        if (h < HIT) break;
        t += max(h, 0.05);
    }
    travelled = t;
    return p + d * t;
}

float occlusion(vec3 p, vec3 n)
{
    float shade = 0.0;
    float weight = 1.0;
    for (int i = 1; i <= 3; ++i) {
        float h = 0.08 * float(i * i) + 0.02;
        shade += (h - object(p + n * h)) * weight;
        weight *= 0.6;
    }
    return clamp(1.0 - 1.6 * shade, 0.0, 1.0);
}

vec3 ice(vec3 p, vec3 d, vec3 n)
{
    float facing = max(dot(n, -d), 0.0);
    float fresnel = 0.04 + 0.96 * pow(1.0 - facing, 5.0);

    vec3 reflected = reflect(d, n);
    vec3 reflection = surroundings(p, reflected, false);

    vec3 inward = refract(d, n, 1.0 / IOR);
    float travelled;
    vec3 exit_point = leave(p - n * 0.004, inward, travelled);
    vec3 exit_normal = exit_surface_normal(exit_point);
    vec3 outward = refract(inward, -exit_normal, IOR);
    // Inside the critical angle the ray is reflected back in; a glint of the tint stands in
    // for the further bounces.
    if (dot(outward, outward) < 0.5) outward = reflect(inward, -exit_normal);
    vec3 absorbed = exp(-travelled * (1.0 - rm_color) * 0.9);
    vec3 refraction = surroundings(exit_point, outward, false) * absorbed;
    // Light scattered inside the ice: the frosted glow of its own colour.
    refraction += rm_color * 0.3 * (1.0 - exp(-travelled * 1.2));

    vec3 c = mix(refraction, reflection, fresnel);
    c += rm_color * 0.25 * fresnel;
    float shine = pow(max(dot(reflected, LIGHT), 0.0), 48.0);
    c += vec3(1.0, 0.97, 0.9) * shine * 1.4;
    float diffuse = 0.55 + 0.45 * max(dot(n, LIGHT), 0.0);
    return c * occlusion(p, n) * diffuse;
}

void main()
{
    vec2 per_pixel = vec2(dFdx(screen.x), dFdy(screen.y));
    float aspect = per_pixel.x > 0.0 ? per_pixel.y / per_pixel.x : 1.0;
    vec2 uv = (screen * 2.0 - 1.0) * vec2(aspect, 1.0);

    vec3 eye = vec3(0.0, 1.2, 3.9);
    vec3 forward = normalize(-eye);
    vec3 right = normalize(cross(forward, vec3(0.0, 1.0, 0.0)));
    vec3 up = cross(right, forward);
    vec3 origin = (rm_cam_matrix * vec4(eye, 1.0)).xyz;
    vec3 d = normalize(mat3(rm_cam_matrix) * normalize(forward * 1.9 + right * uv.x + up * uv.y));

    // The single objects sit inside a sphere around the origin (radius 2.2, the cluster 3.3),
    // the field inside the slab |y| < 1.1: the march covers only the part of the ray within.
    int shown = rm_object >= 1 && rm_object <= 3 ? rm_object : 0;
    float start = 0.0, end = FAR;
    if (shown != 3) {
        float radius = shown == 1 ? 3.3 : 2.2;
        float b = dot(origin, d);
        float disc = b * b - dot(origin, origin) + radius * radius;
        start = disc < 0.0 ? FAR + 1.0 : max(-b - sqrt(max(disc, 0.0)), 0.0);
        end = -b + sqrt(max(disc, 0.0));
    } else if (abs(d.y) > 1e-4) {
        float t0 = (1.1 - origin.y) / d.y, t1 = (-1.1 - origin.y) / d.y;
        start = max(min(t0, t1), 0.0);
        end = min(max(t0, t1), FIELD_FAR);
    }
    float t = start < end ? march(origin, d, start, end) : -1.0;
    vec3 c;
    if (t < 0.0) {
        c = surroundings(origin, d, true);
    } else {
        vec3 p = origin + d * t;
        c = ice(p, d, surface_normal(p));
        // The field fades into the haze with distance.
        if (shown == 3) c = mix(c, vec3(0.12, 0.14, 0.2), smoothstep(3.5, FIELD_FAR, t));
    }
    // A slight vignette and a gentle curve toward display brightness.
    float vignette = 1.0 - 0.35 * dot(screen - 0.5, screen - 0.5);
    gl_FragColor = vec4(pow(c * vignette, vec3(0.85)), 1.0);
}
