#version 120
// Ice, ray-marched per pixel. rm_object picks what is shown:
//   0  a single ice cube (any number not listed below shows it too)
//   1  a cluster of five cubes, tumbled against each other
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

const int PRIMARY_STEPS = 64;
const int INSIDE_STEPS = 12;
const float FAR = 18.0;
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

mat3 turn(vec3 axis, float angle)
{
    vec3 a = normalize(axis);
    float s = sin(angle), c = cos(angle), t = 1.0 - c;
    return mat3(t * a.x * a.x + c, t * a.x * a.y + s * a.z, t * a.x * a.z - s * a.y,
                t * a.x * a.y - s * a.z, t * a.y * a.y + c, t * a.y * a.z + s * a.x,
                t * a.x * a.z + s * a.y, t * a.y * a.z - s * a.x, t * a.z * a.z + c);
}

float hash(vec2 cell)
{
    return fract(sin(dot(cell, vec2(127.1, 311.7))) * 43758.5453);
}

float cluster(vec3 p)
{
    // Outside a sphere round the five cubes the sphere is a safe, cheap distance.
    float bound = length(p) - 2.1;
    if (bound > 0.3) return bound;
    float d = rounded_box(turn(vec3(0.3, 1.0, 0.2), 0.5) * p, vec3(0.55), 0.08);
    d = min(d, rounded_box(turn(vec3(1.0, 0.4, 0.0), 0.9) * (p - vec3(1.05, -0.35, 0.25)), vec3(0.42), 0.07));
    d = min(d, rounded_box(turn(vec3(0.2, 0.6, 1.0), 2.1) * (p - vec3(-0.95, -0.4, 0.35)), vec3(0.45), 0.07));
    d = min(d, rounded_box(turn(vec3(0.7, 0.1, 0.5), 1.4) * (p - vec3(0.15, 0.75, -0.55)), vec3(0.38), 0.06));
    d = min(d, rounded_box(turn(vec3(0.1, 1.0, 0.9), 0.3) * (p - vec3(-0.1, -0.55, -0.95)), vec3(0.36), 0.06));
    return d;
}

float melting(vec3 p)
{
    // Square below, round above: the lower part keeps its edges while the top has run.
    float cube = rounded_box(p, vec3(0.85), 0.12);
    float ball = length(p - vec3(0.0, -0.15, 0.0)) - 0.98;
    float d = mix(cube, ball, smoothstep(-0.8, 0.9, p.y));
    // The puddle: a thin disc under it, merged smoothly into its foot.
    vec2 disc = vec2(length(p.xz) - 1.45, abs(p.y + 0.93) - 0.025);
    float puddle = min(max(disc.x, disc.y), 0.0) + length(max(disc, 0.0)) - 0.02;
    return smooth_min(d, puddle, 0.25);
}

float field(vec3 p)
{
    vec2 cell = floor((p.xz + 1.6) / 3.2);
    vec3 q = vec3(mod(p.x + 1.6, 3.2) - 1.6, p.y, mod(p.z + 1.6, 3.2) - 1.6);
    float h = hash(cell);
    q = turn(vec3(h - 0.5, 1.0, fract(h * 7.3) - 0.5), 6.2832 * h) * q;
    return rounded_box(q, vec3(0.6), 0.08);
}

float object(vec3 p)
{
    // Into the object's own frame: the inverse of a rotation is its transpose.
    p = (vec4(p, 0.0) * rm_obj_matrix).xyz;
    if (rm_object == 1) return cluster(p);
    if (rm_object == 2) return melting(p);
    if (rm_object == 3) return field(p);
    return rounded_box(p, vec3(0.9), 0.12);
}

vec3 surface_normal(vec3 p)
{
    const vec2 k = vec2(1.0, -1.0);
    const float h = 0.001;
    return normalize(k.xyy * object(p + k.xyy * h) + k.yyx * object(p + k.yyx * h) +
                     k.yxy * object(p + k.yxy * h) + k.xxx * object(p + k.xxx * h));
}

// ---- surroundings ----------------------------------------------------------------------------

// A dark studio: a gradient sky with a few soft light panels (what the ice refracts and
// reflects), and a floor of faint tiles that fades into haze.
vec3 sky(vec3 d)
{
    vec3 c = mix(vec3(0.015, 0.02, 0.04), vec3(0.10, 0.16, 0.26), clamp(d.y * 0.7 + 0.45, 0.0, 1.0));
    float panels = smoothstep(0.93, 0.99, sin(d.x * 9.0) * 0.5 + 0.5) * smoothstep(0.15, 0.45, d.y);
    c += vec3(0.9, 0.95, 1.0) * panels * 0.8;
    c += vec3(1.0, 0.9, 0.75) * pow(max(dot(d, LIGHT), 0.0), 60.0) * 3.0;
    return c;
}

vec3 floor_at(vec3 p, float distance_along)
{
    vec2 tile = abs(fract(p.xz * 0.5) - 0.5);
    float line = smoothstep(0.47, 0.5, max(tile.x, tile.y));
    vec3 c = vec3(0.05, 0.06, 0.08) + vec3(0.08, 0.10, 0.14) * line;
    // Contact shadow: dark where the object is near above the floor.
    float above = object(p + vec3(0.0, 0.45, 0.0));
    c *= 0.35 + 0.65 * smoothstep(0.0, 0.9, above);
    return mix(c, vec3(0.06, 0.09, 0.15), 1.0 - exp(-distance_along * 0.06));
}

vec3 surroundings(vec3 origin, vec3 d)
{
    if (d.y < -0.001) {
        float t = (FLOOR_Y - origin.y) / d.y;
        if (t > 0.0) return floor_at(origin + d * t, t);
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
        t += max(h, 0.02);
    }
    travelled = t;
    return p + d * t;
}

float occlusion(vec3 p, vec3 n)
{
    float shade = 0.0;
    float weight = 1.0;
    for (int i = 1; i <= 4; ++i) {
        float h = 0.06 * float(i * i) + 0.02;
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
    vec3 reflection = surroundings(p, reflected);

    vec3 inward = refract(d, n, 1.0 / IOR);
    float travelled;
    vec3 exit_point = leave(p - n * 0.004, inward, travelled);
    vec3 exit_normal = surface_normal(exit_point);
    vec3 outward = refract(inward, -exit_normal, IOR);
    // Inside the critical angle the ray is reflected back in; a glint of the tint stands in
    // for the further bounces.
    if (dot(outward, outward) < 0.5) outward = reflect(inward, -exit_normal);
    vec3 absorbed = exp(-travelled * (1.0 - rm_color) * 1.8);
    vec3 refraction = surroundings(exit_point, outward) * absorbed;
    // Light scattered inside the ice: the frosted glow of its own colour.
    refraction += rm_color * 0.18 * (1.0 - exp(-travelled * 1.2));

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

    vec3 eye = vec3(0.0, 1.3, 4.6);
    vec3 forward = normalize(-eye);
    vec3 right = normalize(cross(forward, vec3(0.0, 1.0, 0.0)));
    vec3 up = cross(right, forward);
    vec3 origin = (rm_cam_matrix * vec4(eye, 1.0)).xyz;
    vec3 d = normalize(mat3(rm_cam_matrix) * normalize(forward * 1.9 + right * uv.x + up * uv.y));

    // Single objects sit inside a sphere of radius 2.2 around the origin: rays that miss it
    // never march.
    float start = 0.0, end = FAR;
    if (rm_object != 3) {
        float b = dot(origin, d);
        float c = dot(origin, origin) - 2.2 * 2.2;
        float disc = b * b - c;
        if (disc < 0.0) {
            start = FAR + 1.0;
        } else {
            float s = sqrt(disc);
            start = max(-b - s, 0.0);
            end = -b + s;
        }
    }
    float t = start < end ? march(origin, d, start, end) : -1.0;
    vec3 c;
    if (t < 0.0) {
        c = surroundings(origin, d);
    } else {
        vec3 p = origin + d * t;
        c = ice(p, d, surface_normal(p));
        // The field fades into the haze with distance.
        if (rm_object == 3) c = mix(c, vec3(0.06, 0.09, 0.15), 1.0 - exp(-t * 0.08));
    }
    // A slight vignette and a gentle curve toward display brightness.
    float vignette = 1.0 - 0.35 * dot(screen - 0.5, screen - 0.5);
    gl_FragColor = vec4(pow(c * vignette, vec3(0.85)), 1.0);
}
