#version 120
// The depth pass has no colour buffer; the colour written here goes nowhere.
void main()
{
    gl_FragColor = vec4(1.0);
}
