#version 120
// Smoke. Density d is kept as a grey (d, d, d), read back from red. Each step the smoke drifts
// up with a slow sideways swirl and spreads; the spark texture, moving slowly, says where new
// smoke gathers (spark_pct: how thick), and an optional image adds density or shows through.
// Alpha follows the density, so the smoke is drawn translucently over the scene.
uniform sampler2D texPrevious;
uniform sampler2D texImage;
uniform sampler2D texSpark;
uniform float time;
uniform float image_factor;
uniform float image_shinethrough;
uniform float spark_pct;

const float texel = 1.0 / 512.0;

// Each step is alpha-blended over what the target held two steps ago, and the picture is
// alpha-blended onto the caller's target. Wherever there is (or just was) anything, alpha 1
// replaces the old contents outright, which keeps the feedback exact and stable; only thin
// wisps blend, and empty air stays transparent. So alpha rises steeply with the amount.
vec4 step_result(vec3 colour, float amount, vec4 previous)
{
    return vec4(colour, clamp(6.0 * max(amount, previous.r), 0.0, 1.0));
}

float density_at(vec2 uv)
{
    return texture2D(texPrevious, uv).r;
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 from = uv - vec2(0.8 * sin(uv.y * 7.0 + time * 0.3), 1.2) * texel;
    vec4 previous = texture2D(texPrevious, uv);
    float density = (4.0 * density_at(from) + density_at(from + vec2(2.0 * texel, 0.0)) +
                     density_at(from - vec2(2.0 * texel, 0.0)) + density_at(from + vec2(0.0, 2.0 * texel)) +
                     density_at(from - vec2(0.0, 2.0 * texel))) / 8.0;
    // Two layers of the spark texture's soft green pattern, drifting apart, give where smoke
    // gathers; the feedback leans toward it a little each step, so the smoke both drifts and
    // keeps filling the stage. More sparks, thicker smoke.
    float near = texture2D(texSpark, uv * 1.1 + vec2(time * 0.021, -time * 0.013)).g;
    float far = texture2D(texSpark, uv * 0.6 + vec2(-time * 0.008, time * 0.011) + 0.37).g;
    float gathered = smoothstep(0.1, 0.85, 0.6 * near + 0.4 * far) * (0.4 + 3.0 * spark_pct);
    density = mix(density * 0.995, gathered, 0.06);

    vec4 image = texture2D(texImage, uv);
    density += dot(image.rgb, vec3(0.299, 0.587, 0.114)) * image_factor * 0.05;
    density = clamp(density, 0.0, 1.0);

    vec3 colour = mix(vec3(density), image.rgb, clamp(image_shinethrough * image.a, 0.0, 1.0));
    gl_FragColor = step_result(colour, density, previous);
}
