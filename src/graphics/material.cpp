#include "tarn/graphics/material.h"

#include <cmath>
#include <cstdlib>

#include <GL/glew.h>

#include "../unpackstate.h"
#include "tarn/cubetexture.h"
#include "tarn/decodecache.h"
#include "tarn/diagnostics.h"
#include "tarn/file.h"
#include "tarn/graphics/gbuffer.h"
#include "tarn/imagetexture.h"
#include "tarn/luceparser.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"
#include "tarn/vfs.h"
#include "tarn/videotexture.h"

namespace Tarn::Graphics {

namespace {

using namespace GBuffer;

float number(const std::string& token) {
    return static_cast<float>(std::atof(token.c_str()));
}

// proxy_map and proxy_video: path px py pz nx ny nz sx sy factor.
void setProxyFromLine(Material& material, Texture* proxy, const std::vector<std::string>& args,
                      bool isVideo) {
    material.setPlaneProxy(proxy, glm::vec3(number(args[1]), number(args[2]), number(args[3])),
                           glm::vec3(number(args[4]), number(args[5]), number(args[6])),
                           glm::vec2(number(args[7]), number(args[8])), number(args[9]), isVideo);
}

// Binds a map on its unit, or the material's default texture when there is none.
void bindOr(Texture* map, unsigned int fallback, int unit) {
    if (map) {
        map->bind(static_cast<unsigned int>(unit));
        return;
    }
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_2D, fallback);
}

// The state of one material script being read; its callbacks fill `material`.
class ScriptReader {
public:
    using Action = void (*)(ScriptReader&, const std::vector<std::string>&);

    ScriptReader(const std::string& script, Material& material)
        : m_script(script), m_material(material) {
        m_parser.setScript(script);
        m_parser.setIgnoredLineHandler(LUCEParser::printIgnoredLines("Material", script));
    }

    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // Prints "[Material]     <text><arguments>" for each line of `keyword`;
    // a line with fewer than `count` arguments is then reported and skipped.
    // `listed` arguments are printed, separated by ", ".
    // Arguments from `numbers` up to `count` are numbers: a word that is not
    // a whole finite number is reported and the line skipped.
    void add(const char* keyword, const char* text, std::size_t count, std::size_t listed,
             Action action, std::size_t numbers = std::string::npos) {
        m_parser.addKeyword(keyword, [this, keyword, text, count, listed, action,
                                      numbers](std::vector<std::string> args) {
            std::string logged = text;
            for (std::size_t i = 0; i < listed && i < args.size(); ++i)
                logged += (i ? ", " : "") + args[i];
            Diagnostics::note("Material", "    " + logged);
            if (args.size() < count) {
                report(std::string(keyword) + " needs " + std::to_string(count) +
                       (count == 1 ? " argument" : " arguments") + ", has " +
                       std::to_string(args.size()) + "; line skipped");
                return;
            }
            for (std::size_t i = numbers; i < count; ++i) {
                double value = 0.0;
                if (!LUCEParser::finiteNumber(args[i], value)) {
                    report(std::string(keyword) + ": \"" + args[i] +
                           "\" is not a number; line skipped");
                    return;
                }
            }
            m_keyword = keyword;
            action(*this, args);
        });
    }

    // "[Material] <script>:<line>: <what>", a problem at the line being read.
    void report(const std::string& what) {
        Diagnostics::problemAt("Material", m_script, m_parser.lineNumber(), what);
    }

    // A map the script names stands in with a placeholder when its file gave
    // nothing usable; the reader's reason is already out, this line says what
    // the material uses instead (MaterialGLTest.MissingMapsAreReportedAtTheirLine).
    ImageTexture* image(const std::string& path) {
        auto* texture = new ImageTexture(path);
        if (texture->isPlaceholder())
            report(m_keyword + " " + path + " gave no image; the magenta placeholder is used");
        return texture;
    }
    CubeTexture* cube(const std::string& path) {
        auto* texture = new CubeTexture(path);
        if (texture->isPlaceholder())
            report(m_keyword + " " + path + " gave no cube map; the magenta placeholder is used");
        return texture;
    }
    VideoTexture* video(const std::string& path) {
        auto* texture = new VideoTexture(path);
        if (texture->numImages() == 0)
            report(m_keyword + " " + path + " gave no frames; the video draws black");
        return texture;
    }

    void read(const std::string& text) { m_parser.parse(text); }
    void ignoreLine(const std::string& why) { m_parser.ignoreLine(why); }

    Material& material() { return m_material; }

private:
    std::string m_script;
    std::string m_keyword;  // of the line being applied
    Material& m_material;
    LUCEParser m_parser;
};

}  // namespace

Material::Material() {
    glGenTextures(1, &m_diffuse);
    glGenTextures(1, &m_normal);
    glGenTextures(1, &m_specular);
    f_update();
}

Material::~Material() {
    const GLuint names[3] = {m_diffuse, m_normal, m_specular};
    glDeleteTextures(3, names);
}

unsigned char Material::colorByte(float c) {
    const float scaled = c * 255.0f;
    // Out of the int range the conversion is undefined in C++; the x86
    // conversion the engine was first built on gives 0x80000000 there, whose
    // low byte is 0.
    if (!(scaled > -2147483648.0f && scaled < 2147483648.0f))
        return 0;
    return static_cast<unsigned char>(static_cast<unsigned int>(static_cast<int>(scaled)) & 0xFFu);
}

void Material::setDiffuseColor(const glm::vec3& color) {
    m_diffuseValue = {colorByte(color.x), colorByte(color.y), colorByte(color.z)};
    m_dirty = true;
}

void Material::setSpecularValue(const glm::vec2& value) {
    m_specularValue[0] = colorByte(value.x);
    m_specularValue[1] = colorByte(value.y);
    m_dirty = true;
}

void Material::setSpecularMap(Texture* map) {
    f_disown(OS_SPECULAR, map);
    m_specularMap = map;
    m_dirty = true;
}

void Material::setSelfIllum(float value) {
    m_selfIllum = value;
    m_dirty = true;
}

void Material::setPlaneProxy(Texture* proxy, const glm::vec3& position, const glm::vec3& normal,
                             const glm::vec2& size, float factor, bool isVideo) {
    f_disown(OS_PROXY, proxy);
    m_proxy = proxy;
    m_proxyPosition = position;
    m_proxyNormal = normal;
    m_proxySize = size;
    m_proxyFactor = factor;
    m_proxyIsVideo = isVideo;
    m_useProxy = true;
}

void Material::f_update() {
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    const Detail::UnpackState unpack;
    const struct {
        GLuint name;
        const Texel& texel;
    } defaults[] = {
        {m_diffuse, m_diffuseValue}, {m_normal, m_normalValue}, {m_specular, m_specularValue}};
    for (const auto& d : defaults) {
        glBindTexture(GL_TEXTURE_2D, d.name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, d.texel.data());
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    m_dirty = false;
}

Texture* Material::f_own(OwnedSlot slot, Texture* texture) {
    m_owned[slot].reset(texture);
    return texture;
}

// A map the script made lives as long as it is the material's: replaced, it
// is freed (MaterialGLTest.ReplacedScriptMapsAreFreed).
void Material::f_disown(OwnedSlot slot, const Texture* replacement) {
    if (m_owned[slot].get() != replacement)
        m_owned[slot].reset();
}

void Material::setDiffuseMap(Texture* map) {
    f_disown(OS_DIFFUSE, map);
    m_diffuseMap = map;
}

void Material::setNormalMap(Texture* map) {
    f_disown(OS_NORMAL, map);
    m_normalMap = map;
}

void Material::setReflectionMap(Texture* map) {
    f_disown(OS_REFLECTION, map);
    m_reflectionMap = map;
}

void Material::apply(ShaderProgram* program, double time) {
    if (!program) {
        Diagnostics::problem("Material", "apply needs a program");
        return;
    }
    if (m_dirty)
        f_update();

    program->uniform(DiffuseIsAnimated, m_diffuseIsAnimated ? 1 : 0);
    if (m_diffuseIsAnimated) {
        program->uniform(MapDiffuseAnim, DiffuseVideoUnit);
        if (m_diffuseMap)
            m_diffuseMap->bind(DiffuseVideoUnit);
        // setDiffuseMap may have replaced the video with a still image.
        const auto* video = dynamic_cast<const VideoTexture*>(m_diffuseMap);
        program->uniform(DiffuseAnimationTime, video ? video->frameId(time) : 0.0f);
    } else {
        program->uniform(MapDiffuse, DiffuseUnit);
        bindOr(m_diffuseMap, m_diffuse, DiffuseUnit);
    }

    program->uniform(MapNormal, NormalUnit);
    bindOr(m_normalMap, m_normal, NormalUnit);
    program->uniform(MapSpecular, SpecularUnit);
    bindOr(m_specularMap, m_specular, SpecularUnit);

    program->uniform(SelfIllum, m_selfIllum);
    program->uniform(ReflectionTypeName, static_cast<int>(m_reflectionType));
    if (m_reflectionType != RT_NONE) {
        program->uniform(ReflectionValue, m_reflectionValue);
        program->uniform(ReflectionFresnel, m_reflectionFresnel);
        // The G-buffer pass samples neither image: it has no sampler for
        // them, so none is named (RendererGLTest.MaterialsSendOnlyWhatTheProgramHas).
        // The matcap image still goes to its unit; the cube map stays unbound.
        if (m_reflectionType == RT_MATCAP && m_reflectionMap)
            m_reflectionMap->bind(MatcapUnit);
    } else {
        program->uniform(ReflectionValue, 0.0f);
        program->uniform(ReflectionFresnel, 0.0f);
    }

    if (!m_useProxy) {
        program->uniform(UseProxy, 0);
        return;
    }
    program->uniform(ProxyFactor, m_proxyFactor);
    program->uniform(ProxyPosition, m_proxyPosition.x, m_proxyPosition.y, m_proxyPosition.z);
    program->uniform(ProxySize, m_proxySize.x, m_proxySize.y);
    if (m_proxyIsVideo) {
        program->uniform(UseProxy, 2);
        program->uniform(ProxyVideo, ProxyVideoUnit);
        if (m_proxy)
            m_proxy->bind(ProxyVideoUnit);
    } else {
        program->uniform(UseProxy, 1);
        program->uniform(ProxyMap, ProxyMapUnit);
        if (m_proxy)
            m_proxy->bind(ProxyMapUnit);
    }
}

// A reflection map is decoded whatever the reflection type: one that the
// type leaves unread is dropped with the cache, unsaid.
void Material::prefetchFromScript(const std::string& filename, DecodeCache& cache) {
    DecodeCache::scanScript(filename, [&cache](LUCEParser& parser) {
        for (const char* keyword :
             {"diffuse_map", "normal_map", "specular_map", "reflection_map", "proxy_map"})
            parser.addKeyword(keyword, [&cache](std::vector<std::string> args) {
                if (!args.empty())
                    cache.prefetch("image", args[0]);
            });
        for (const char* keyword : {"diffuse_video", "proxy_video"})
            parser.addKeyword(keyword, [&cache](std::vector<std::string> args) {
                if (!args.empty())
                    VideoTexture::prefetchFromScript(args[0], cache);
            });
    });
}

Material* Material::createFromScript(const std::string& filename) {
    Diagnostics::note("Material", "Creating from " + filename);
    auto* material = new Material();

    ScriptReader reader(filename, *material);
    using Args = const std::vector<std::string>&;
    reader.add(
        "diffuse", "Setting diffuse color: ", 3, 3,
        [](ScriptReader& r, Args a) {
            r.material().setDiffuseColor(glm::vec3(number(a[0]), number(a[1]), number(a[2])));
        },
        0);
    reader.add("diffuse_map", "Setting diffuse map: ", 1, 1, [](ScriptReader& r, Args a) {
        Material& m = r.material();
        m.setDiffuseMap(m.f_own(OS_DIFFUSE, r.image(a[0])));
        m.m_diffuseIsAnimated = false;
    });
    reader.add("diffuse_video", "Setting diffuse video map: ", 1, 1, [](ScriptReader& r, Args a) {
        Material& m = r.material();
        m.setDiffuseMap(m.f_own(OS_DIFFUSE, r.video(a[0])));
        m.m_diffuseIsAnimated = true;
    });
    reader.add("normal_map", "Setting normal map: ", 1, 1, [](ScriptReader& r, Args a) {
        Material& m = r.material();
        m.setNormalMap(m.f_own(OS_NORMAL, r.image(a[0])));
    });
    reader.add(
        "specular", "Setting specular value: ", 2, 2,
        [](ScriptReader& r, Args a) {
            r.material().setSpecularValue(glm::vec2(number(a[0]), number(a[1])));
        },
        0);
    reader.add("specular_map", "Setting specular map: ", 1, 1, [](ScriptReader& r, Args a) {
        Material& m = r.material();
        m.setSpecularMap(m.f_own(OS_SPECULAR, r.image(a[0])));
    });
    reader.add(
        "self_illum", "Setting self-illumination: ", 1, 1,
        [](ScriptReader& r, Args a) { r.material().setSelfIllum(number(a[0])); }, 0);
    reader.add("reflection_type", "Setting reflection type: ", 1, 1, [](ScriptReader& r, Args a) {
        if (a[0] == "none")
            r.material().setReflectionType(RT_NONE);
        else if (a[0] == "matcap")
            r.material().setReflectionType(RT_MATCAP);
        else if (a[0] == "cubemap")
            r.material().setReflectionType(RT_CUBEMAP);
        else
            r.ignoreLine("unknown reflection type \"" + a[0] + "\"");
    });
    reader.add(
        "reflection_value", "Setting reflection value: ", 1, 1,
        [](ScriptReader& r, Args a) { r.material().setReflectionValue(number(a[0])); }, 0);
    reader.add(
        "reflection_fresnel", "Setting reflection fresnel factor: ", 1, 1,
        [](ScriptReader& r, Args a) { r.material().setReflectionFresnel(number(a[0])); }, 0);
    reader.add(
        "refraction_value", "Setting refraction value: ", 1, 1,
        [](ScriptReader& r, Args a) { r.material().setRefractionValue(number(a[0])); }, 0);
    // The type in force at this line decides what the map is.
    reader.add("reflection_map", "Setting reflection map: ", 1, 1, [](ScriptReader& r, Args a) {
        Material& m = r.material();
        if (m.m_reflectionType == RT_MATCAP)
            m.setReflectionMap(m.f_own(OS_REFLECTION, r.image(a[0])));
        else if (m.m_reflectionType == RT_CUBEMAP)
            m.setReflectionMap(m.f_own(OS_REFLECTION, r.cube(a[0])));
    });
    reader.add(
        "proxy_map", "Setting plane reflection proxy map: ", 10, 1,
        [](ScriptReader& r, Args a) {
            Material& m = r.material();
            setProxyFromLine(m, m.f_own(OS_PROXY, r.image(a[0])), a, false);
        },
        1);
    reader.add(
        "proxy_video", "Setting plane reflection proxy video: ", 10, 1,
        [](ScriptReader& r, Args a) {
            Material& m = r.material();
            setProxyFromLine(m, m.f_own(OS_PROXY, r.video(a[0])), a, true);
        },
        1);

    VFS* vfs = VFS::tarnVFS;
    if (!vfs) {
        Diagnostics::problem("Material", "No archive to read " + filename + " from");
        return material;
    }
    std::string text;
    if (!vfs->readScript(filename, text))
        return material;
    reader.read(text);
    return material;
}

}  // namespace Tarn::Graphics
