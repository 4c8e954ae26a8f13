#version 120
// Grey feedback: the previous frame, slightly blurred and fading, mixed with the optional
// image's luminance (image_factor) and lit by the spark texture; an echo of the image in
// greys. The grey g is read back from red; alpha follows it.
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

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec4 previous = texture2D(texPrevious, uv);
    float grey = (previous.r * 4.0 + texture2D(texPrevious, uv + vec2(texel, 0.0)).r +
                  texture2D(texPrevious, uv - vec2(texel, 0.0)).r + texture2D(texPrevious, uv + vec2(0.0, texel)).r +
                  texture2D(texPrevious, uv - vec2(0.0, texel)).r) / 8.0;
    grey *= 0.97;

    vec4 image = texture2D(texImage, uv);
    float luminance = dot(image.rgb, vec3(0.299, 0.587, 0.114));
    grey = mix(grey, luminance, clamp(image_factor, 0.0, 1.0));
    float spark = texture2D(texSpark, uv + vec2(time * 0.03, time * 0.05)).r;
    grey += smoothstep(0.6, 1.0, spark) * spark_pct * 0.5;
    grey = clamp(grey, 0.0, 1.0);

    vec3 colour = mix(vec3(grey), vec3(luminance), clamp(image_shinethrough * image.a, 0.0, 1.0));
    gl_FragColor = step_result(colour, grey, previous);
}
