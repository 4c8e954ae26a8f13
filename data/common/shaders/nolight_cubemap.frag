#version 120
// A mirror finish: the reflection map mixed with a little of the diffuse texture on unit 1.
uniform samplerCube CubeMap;
uniform sampler2D difftex;
varying vec3 incident;
varying vec3 normal;

void main()
{
    vec3 direction = reflect(normalize(incident), normalize(normal));
    vec3 mirror = textureCube(CubeMap, direction).rgb;
    vec3 plate = texture2D(difftex, gl_TexCoord[0].st).rgb;
    gl_FragColor = vec4(mirror * 0.75 + plate * 0.25, 1.0) * gl_Color;
}
