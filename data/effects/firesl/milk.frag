#version 120
// Milk: a white liquid that swirls in slow eddies. Amount m is kept as the colour
// (m, m, 0.94 m), read back from red; the spark texture drips new milk in, an optional image
// adds to it or shows through. Alpha follows the amount.
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
    vec2 eddy = vec2(sin(uv.y * 11.0 + time * 0.5), cos(uv.x * 9.0 - time * 0.4)) * 2.0 * texel;
    vec4 previous = texture2D(texPrevious, uv);
    float amount = (texture2D(texPrevious, uv - eddy).r * 2.0 + texture2D(texPrevious, uv - eddy * 2.0).r) / 3.0;
    amount = max(amount * 0.992 - 0.0015, 0.0);

    float drop = texture2D(texSpark, uv * 1.3 + vec2(0.0, time * 0.05)).b;
    amount += smoothstep(0.45, 0.9, drop) * spark_pct * 0.6;

    vec4 image = texture2D(texImage, uv);
    amount += dot(image.rgb, vec3(0.299, 0.587, 0.114)) * image_factor * 0.05;
    amount = clamp(amount, 0.0, 1.0);

    vec3 colour = mix(vec3(amount, amount, 0.94 * amount), image.rgb, clamp(image_shinethrough * image.a, 0.0, 1.0));
    gl_FragColor = step_result(colour, amount, previous);
}
