#include "tarn/ext/fogeffect.h"

#include <cmath>

#include <glm/gtc/type_ptr.hpp>

#include "commonpasses.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool FogEffect::ms_shadersInitialized = false;
ShaderProgram* FogEffect::ms_fog = nullptr;

namespace {

// The inverse view matrix comes from the CPU, once a frame, rather than being
// inverted in every pixel; the bench shows both give the same image.
const PostFX::ProgramSource kFog = {"Fog",
                                    R"(#version 330 core
uniform sampler2D uInput;
uniform sampler2D uRT2;
uniform mat4 uInverseViewMatrix;
uniform float uFogYDensity;
uniform vec4 uFogColor;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    vec4 original = textureLod(uInput, v_uv, 0.0);
    vec3 wsPos = (uInverseViewMatrix * vec4(textureLod(uRT2, v_uv, 0.0).xyz, 1.0)).xyz;
    float fogFactor = 1.0 - clamp(wsPos.y / uFogYDensity, 0.0, 1.0);
    fogFactor *= clamp(length(wsPos.xz) / 60.0, 0.0, 1.0) * 0.8 + 0.2;
    fragColor = mix(original, mix(original, uFogColor, uFogColor.a), fogFactor);
}
)",
                                    {{"uInput", 0}, {"uRT2", 1}}};

// Y_Fog_Density is the height where the fog ends; at 0 the ground plane
// would divide 0 by 0.
const float kLeastYDensity = 0.001f;

const char* const kZDensity = "Z_Fog_Density";
const char* const kYDensity = "Y_Fog_Density";
const char* const kColor = "Fog_Color";

}  // namespace

void FogEffect::_register() {
    PostFX::EffectFactory::registerEffect("Fog", &FogEffect::create);
}

PostFX::Effect* FogEffect::create() {
    if (!ms_shadersInitialized) {
        ms_fog = PostFX::buildProgram(kFog);
        ms_shadersInitialized = true;
    }
    auto* effect = new PostFX::Effect();
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        using PostFX::Pass;
        // in + G-buffer position -> full[fullCnt]
        const glm::mat4 inverseView =
            buffers.camera ? glm::inverse(buffers.camera->viewMatrix()) : glm::mat4(1.0f);
        const float* color = effect->property(kColor).value.v4;
        Pass pass(buffers, Pass::Full, ms_fog);
        pass.uniform("uInverseViewMatrix", glm::value_ptr(inverseView));
        pass.uniform("uFogYDensity", CommonPasses::within(effect->property(kYDensity).value.f,
                                                          kLeastYDensity, HUGE_VALF));
        pass.uniform("uFogColor", color[0], color[1], color[2], color[3]);
        pass.input(0, buffers.in);
        pass.input(1, buffers.gBuffer ? buffers.gBuffer->target(2) : nullptr);
        buffers.out = pass.draw();
    });
    effect->setProperty(kZDensity, 4.91f);
    effect->setProperty(kYDensity, 3.06f);
    effect->setProperty(kColor, 0.568f, 0.231f, 0.443f, 1.0f);
    return effect;
}

}  // namespace Tarn::Ext
