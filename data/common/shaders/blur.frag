#version 120
// One direction of a separable gaussian blur of the picture on unit 0: run it once across and
// once down. "direction" is the step between taps in texels, so its length sets the width.
// Without a texel size the step is taken for a 512-texel picture.
uniform sampler2D tex;
uniform vec2 direction;
uniform vec2 texel_size;

void main()
{
    vec2 texel = texel_size.x > 0.0 && texel_size.y > 0.0 ? texel_size : vec2(1.0 / 512.0);
    vec2 step = direction * texel;
    vec2 uv = gl_TexCoord[0].st;
    // Weights of a 9-tap gaussian (sigma about 2 taps), centre first; they sum to 1.
    vec4 sum = texture2D(tex, uv) * 0.2270;
    sum += (texture2D(tex, uv + step) + texture2D(tex, uv - step)) * 0.1945;
    sum += (texture2D(tex, uv + step * 2.0) + texture2D(tex, uv - step * 2.0)) * 0.1216;
    sum += (texture2D(tex, uv + step * 3.0) + texture2D(tex, uv - step * 3.0)) * 0.0540;
    sum += (texture2D(tex, uv + step * 4.0) + texture2D(tex, uv - step * 4.0)) * 0.0162;
    gl_FragColor = sum * gl_Color;
}
