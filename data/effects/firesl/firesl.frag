#version 120
// Flames. The state is the picture itself: heat h is kept as the colour (sqrt h, h, h^2), so
// it is read back from red. Each step the heat rises a little, spreads sideways and cools;
// sparks from the scrolling spark texture seed it near the bottom, and an optional image adds
// heat (image_factor) or shows through (image_shinethrough). The picture is shown
// alpha-blended, so its alpha follows the heat: cold air is transparent.
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

float heat_at(vec2 uv)
{
    float red = texture2D(texPrevious, uv).r;
    return red * red;
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 below = uv - vec2(0.0, 2.0 * texel);
    vec4 previous = texture2D(texPrevious, uv);
    float heat = (2.0 * heat_at(below) + heat_at(below + vec2(1.5 * texel, 0.0)) +
                  heat_at(below - vec2(1.5 * texel, 0.0)) + heat_at(below - vec2(0.0, texel))) / 5.0;
    heat = max(heat * 0.955 - 0.008, 0.0);

    vec2 drift = vec2(uv.x * 1.5 + 0.08 * sin(time * 0.7), uv.y * 0.8 - time * 0.35);
    float spark = texture2D(texSpark, drift).r;
    float base = 1.0 - smoothstep(0.0, 0.4, uv.y);
    heat += smoothstep(0.5, 0.9, spark) * spark_pct * 2.5 * base;

    vec4 image = texture2D(texImage, uv);
    heat += dot(image.rgb, vec3(0.299, 0.587, 0.114)) * image_factor * 0.08;
    heat = clamp(heat, 0.0, 1.0);

    vec3 colour = mix(vec3(sqrt(heat), heat, heat * heat), image.rgb, clamp(image_shinethrough * image.a, 0.0, 1.0));
    gl_FragColor = step_result(colour, heat, previous);
}
