#include "tarn/ext/reflectioneffect.h"

#include <memory>
#include <string>

#include <glm/gtc/type_ptr.hpp>

#include "tarn/cubetexture.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool ReflectionEffect::ms_shadersInitialized = false;
ShaderProgram* ReflectionEffect::ms_reflection = nullptr;

namespace {

const PostFX::ProgramSource kReflection = {"Reflection",
                                           R"(#version 330 core
uniform sampler2D uInput;
uniform sampler2D uRT1;
uniform sampler2D uRT2;
uniform samplerCube uEnvironment;
uniform mat4 uInverseViewMatrix;
uniform float uStrength;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    vec4 original = textureLod(uInput, v_uv, 0.0);
    vec4 material = textureLod(uRT1, v_uv, 0.0);
    vec3 position = textureLod(uRT2, v_uv, 0.0).xyz;
    float amount = material.a * uStrength;
    // Sky and background have no position and reflect nothing.
    if (amount <= 0.0 || dot(position, position) == 0.0) {
        fragColor = original;
        return;
    }
    vec3 n = vec3(material.xy, sqrt(max(0.0, 1.0 - dot(material.xy, material.xy))));
    vec3 r = reflect(normalize(position), n);
    vec3 world = (uInverseViewMatrix * vec4(r, 0.0)).xyz;
    fragColor = vec4(original.rgb + texture(uEnvironment, world).rgb * amount, original.a);
}
)",
                                           {{"uInput", 0}, {"uRT1", 1}, {"uRT2", 2}, {"uEnvironment", 3}}};

const char* const kStrength = "Strength";

}  // namespace

void ReflectionEffect::_register() {
    PostFX::EffectFactory::registerEffect("Reflection", &ReflectionEffect::create);
}

PostFX::Effect* ReflectionEffect::create() {
    if (!ms_shadersInitialized) {
        ms_reflection = PostFX::buildProgram(kReflection);
        ms_shadersInitialized = true;
    }
    auto* effect = new PostFX::Effect();
    auto environment = std::make_shared<std::unique_ptr<CubeTexture>>();
    effect->setImageHandler([environment](const std::string& word, const std::string& path) {
        if (word != "image")
            return false;
        *environment = std::make_unique<CubeTexture>(path);
        return true;
    });
    effect->addPass([effect, environment](PostFX::Chain::Buffers& buffers) {
        using PostFX::Pass;
        // in + G-buffer normal and position + cube map -> full[fullCnt]
        const glm::mat4 inverseView =
            buffers.camera ? glm::inverse(buffers.camera->viewMatrix()) : glm::mat4(1.0f);
        // Nothing to reflect: the strength is 0, and the pass a copy.
        const float strength = *environment ? effect->property(kStrength).value.f : 0.0f;
        Pass pass(buffers, Pass::Full, ms_reflection);
        pass.uniform("uInverseViewMatrix", glm::value_ptr(inverseView));
        pass.uniform("uStrength", strength);
        pass.input(0, buffers.in);
        pass.input(1, buffers.gBuffer ? buffers.gBuffer->target(1) : nullptr);
        pass.input(2, buffers.gBuffer ? buffers.gBuffer->target(2) : nullptr);
        if (*environment)
            pass.input(3, environment->get());
        buffers.out = pass.draw();
    });
    effect->setProperty(kStrength, 1.0f);
    return effect;
}

}  // namespace Tarn::Ext
