#include "tarn/vertexbuffer.h"

#include <algorithm>
#include <limits>
#include <string>

#include <GL/glew.h>

#include "tarn/diagnostics.h"

namespace Tarn {

int VertexBuffer::ms_live = 0;

VertexBuffer::VertexBuffer() {
    ++ms_live;
}

VertexBuffer::~VertexBuffer() {
    --ms_live;
    if (!m_vbos.empty())
        glDeleteBuffers(static_cast<GLsizei>(m_vbos.size()), m_vbos.data());
    if (m_vao)
        glDeleteVertexArrays(1, &m_vao);
}

bool VertexBuffer::setAttribute(const std::string& name, const float* data, unsigned int numValues,
                                unsigned int numValuesPerElement) {
    const auto sameName = [&name](const AttributeData& a) { return a.name == name; };
    if (std::any_of(m_attributes.begin(), m_attributes.end(), sameName)) {
        Diagnostics::problem("VertexBuffer",
                             "Attribute \"" + name + "\" is already set; it keeps its data");
        return false;
    }
    if (numValuesPerElement < 1 || numValuesPerElement > 4) {
        Diagnostics::problem("VertexBuffer", "Attribute \"" + name +
                                                 "\" needs 1 to 4 values per vertex, not " +
                                                 std::to_string(numValuesPerElement));
        return false;
    }
    if (!data && numValues > 0) {
        Diagnostics::problem("VertexBuffer", "Attribute \"" + name + "\" has no data for its " +
                                                 std::to_string(numValues) + " values");
        return false;
    }
    if (m_attributes.size() >= MaxAttributes) {
        Diagnostics::problem("VertexBuffer", "Cannot add attribute \"" + name +
                                                 "\": a buffer holds at most " +
                                                 std::to_string(MaxAttributes));
        return false;
    }
    AttributeData attribute;
    attribute.name = name;
    if (numValues > 0)
        attribute.data.assign(data, data + numValues);
    attribute.numValuesPerElement = numValuesPerElement;
    attribute.index = static_cast<unsigned int>(m_attributes.size());
    m_attributes.push_back(std::move(attribute));
    m_changed = true;
    return true;
}

void VertexBuffer::setIndices(const unsigned int* data, unsigned int numIndices) {
    if (!data && numIndices > 0) {
        Diagnostics::problem("VertexBuffer", "No data for " + std::to_string(numIndices) +
                                                 " indices; the index list stays as it was");
        return;
    }
    if (numIndices > 0)
        m_indices.assign(data, data + numIndices);
    else
        m_indices.clear();
    m_changed = true;
}

void VertexBuffer::draw() {
    if (m_indices.empty())
        return;
    if (!m_prepared)
        f_prepare();
    if (m_changed)
        f_upload();
    if (!m_drawable)
        return;
    glBindVertexArray(m_vao);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(m_indices.size()), GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
}

void VertexBuffer::f_prepare() {
    glGenVertexArrays(1, &m_vao);
    m_prepared = true;
    m_changed = true;
}

// Uploads everything again and records the attribute layout in the vertex
// array, which then holds all the state a draw needs. Buffers added since the
// last upload get new names (VertexBufferGLTest.ChangesAfterADrawAreUploaded).
void VertexBuffer::f_upload() {
    const std::size_t needed = m_attributes.size() + 1;
    if (m_vbos.size() < needed) {
        const std::size_t existing = m_vbos.size();
        m_vbos.resize(needed, 0);
        glGenBuffers(static_cast<GLsizei>(needed - existing), m_vbos.data() + existing);
    }
    glBindVertexArray(m_vao);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_vbos[0]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(m_indices.size() * sizeof(unsigned int)), m_indices.data(),
                 GL_STATIC_DRAW);
    for (const AttributeData& attribute : m_attributes) {
        glBindBuffer(GL_ARRAY_BUFFER, m_vbos[attribute.index + 1]);
        glBufferData(GL_ARRAY_BUFFER,
                     static_cast<GLsizeiptr>(attribute.data.size() * sizeof(float)),
                     attribute.data.data(), GL_STATIC_DRAW);
        glEnableVertexAttribArray(attribute.index);
        glVertexAttribPointer(attribute.index, static_cast<GLint>(attribute.numValuesPerElement),
                              GL_FLOAT, GL_FALSE, 0, nullptr);
    }
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_changed = false;
    m_drawable = f_indicesInRange();
}

bool VertexBuffer::f_indicesInRange() const {
    if (m_attributes.empty() || m_indices.empty())
        return true;
    std::size_t vertices = std::numeric_limits<std::size_t>::max();
    for (const AttributeData& attribute : m_attributes)
        vertices = std::min(vertices, attribute.data.size() / attribute.numValuesPerElement);
    const unsigned int largest = *std::max_element(m_indices.begin(), m_indices.end());
    if (largest < vertices)
        return true;
    Diagnostics::problem("VertexBuffer", "Index " + std::to_string(largest) + " is past the " +
                                             std::to_string(vertices) +
                                             (vertices == 1 ? " vertex" : " vertices") +
                                             " the attributes hold; nothing is drawn");
    return false;
}

}  // namespace Tarn
