#version 120
// Solid black with the current colour's alpha: darkens what is below in an alpha blend
// (fades to black, masks).
void main()
{
    gl_FragColor = vec4(0.0, 0.0, 0.0, gl_Color.a);
}
