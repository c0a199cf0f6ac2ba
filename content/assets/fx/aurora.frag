// The night's aurora: curtains of light across the empty sky behind the
// lake, drifting slowly, brightening with the lead (the high mids) and
// flickering at its note starts. It draws only where the scene left no
// surface, so the knot, the stones and the lake cover it.
uniform float uStrength; // @param 0..4 = 1

const float TAU = 6.2831853;

// Height of the curtains' lower edge along an azimuth (radians), 0 to 1.
float curtain(float azimuth, float t) {
    return 0.5 + 0.22 * sin(3.0 * azimuth + 0.15 * t) + 0.14 * sin(7.0 * azimuth - 0.23 * t)
         + 0.07 * sin(13.0 * azimuth + 0.41 * t);
}

void main() {
    vec4 picture = texture(uInput, v_uv);
    vec3 position = texture(uGBuffer2, v_uv).xyz;
    if (dot(position, position) > 0.0) {
        fragColor = picture;
        return;
    }
    // The direction this pixel looks along, in the world.
    vec4 clip = vec4(v_uv * 2.0 - 1.0, 1.0, 1.0);
    vec4 view = uInverseProjection * clip;
    vec3 direction = normalize(mat3(uInverseView) * (view.xyz / view.w));
    float elevation = direction.y;
    if (elevation <= 0.0) {
        fragColor = picture;
        return;
    }
    float azimuth = atan(direction.x, -direction.z);
    float t = uTime;
    // Rays rising from the lower edge, fading upwards, in fine vertical folds.
    float edge = 0.08 + 0.25 * curtain(azimuth, t);
    float above = elevation - edge;
    float body = smoothstep(-0.05, 0.12, above) * exp(-max(above, 0.0) * 3.0);
    float folds = 0.7 + 0.3 * sin(23.0 * azimuth + 3.0 * sin(4.0 * azimuth + 0.3 * t));
    float light = body * folds * (0.35 + 1.4 * uBands.z + 0.6 * uOnset);
    vec3 green = vec3(0.15, 1.0, 0.55), violet = vec3(0.55, 0.25, 1.0);
    vec3 colour = mix(green, violet, smoothstep(0.0, 0.35, above));
    fragColor = vec4(picture.rgb + colour * light * 0.25 * uStrength, picture.a);
}
