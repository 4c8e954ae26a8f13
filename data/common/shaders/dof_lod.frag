#version 120
// Cheap depth of field: the colour on unit 0 is mipmapped, and each pixel reads it at a level
// biased by its circle of confusion, so out-of-focus pixels come from the smaller, blurrier
// levels. Depth (0..1, as stored) on unit 1; "focus" stays sharp, "range" is the distance from
// it where the bias reaches "max_bias" levels. A few jittered taps hide the blockiness of the
// small levels.
uniform sampler2D tex;
uniform sampler2D depth;
uniform float focus;
uniform float range;
uniform float max_bias;
uniform vec2 texel_size;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 texel = texel_size.x > 0.0 && texel_size.y > 0.0 ? texel_size : vec2(1.0 / 512.0);
    float r = range > 0.0 ? range : 0.05;
    float levels = max_bias > 0.0 ? max_bias : 4.0;
    float coc = clamp(abs(texture2D(depth, uv).r - focus) / r, 0.0, 1.0);
    float bias = coc * levels;
    // Half a texel of the chosen level in each diagonal direction.
    vec2 spread = texel * exp2(bias) * 0.5;
    vec4 sum = texture2D(tex, uv + vec2(spread.x, spread.y), bias);
    sum += texture2D(tex, uv + vec2(-spread.x, spread.y), bias);
    sum += texture2D(tex, uv + vec2(spread.x, -spread.y), bias);
    sum += texture2D(tex, uv - spread, bias);
    gl_FragColor = sum * 0.25 * gl_Color;
}
