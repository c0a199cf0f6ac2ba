#ifndef TARN_VERTEXBUFFER_H
#define TARN_VERTEXBUFFER_H

// Geometry as an indexed triangle list of named float attributes, kept on
// the CPU and uploaded to a vertex array object by the first draw. Owned by
// the mesh or the module that made it; owns its GL objects.

#include <string>
#include <vector>

namespace Tarn {

class VertexBuffer {
public:
    struct AttributeData {
        std::string name;
        std::vector<float> data;
        unsigned int numValuesPerElement;
        // The generic vertex attribute (layout location) the values feed:
        // the attribute's position in insertion order.
        unsigned int index;
    };
    // GL guarantees at least this many generic vertex attributes.
    static constexpr unsigned int MaxAttributes = 16;

    // Empty; makes no GL object.
    VertexBuffer();
    ~VertexBuffer();

    VertexBuffer(const VertexBuffer&) = delete;
    VertexBuffer& operator=(const VertexBuffer&) = delete;

    // Appends a copy of numValues floats as the next attribute location,
    // numValuesPerElement (1 to 4) per vertex; the caller keeps data. Returns
    // false and changes nothing, after one line, for a name already set, a
    // component count outside 1 to 4, missing data or a seventeenth attribute.
    bool setAttribute(const std::string& name, const float* data, unsigned int numValues,
                      unsigned int numValuesPerElement);
    // Replaces the index list (three per triangle) with a copy; null data
    // with a non-zero count is reported and changes nothing.
    void setIndices(const unsigned int* data, unsigned int numIndices);

    // Uploads on first use and after any change, then draws every index as
    // triangles with whatever program is current. An empty index list draws
    // nothing; an index past the shortest attribute is reported once per
    // upload and nothing is drawn until the data is fixed.
    void draw();

    const std::vector<AttributeData>& attributes() const { return m_attributes; }
    const std::vector<unsigned int>& indices() const { return m_indices; }
    // The GL vertex array object; 0 until the first draw.
    unsigned int vertexArray() const { return m_vao; }
    // Vertex buffers alive in the process.
    static int liveCount() { return ms_live; }

private:
    void f_prepare();
    void f_upload();
    // True when every index names a vertex that every attribute holds.
    bool f_indicesInRange() const;

    static int ms_live;

    std::vector<AttributeData> m_attributes;
    std::vector<unsigned int> m_indices;
    unsigned int m_vao = 0;
    // Element 0 is the index buffer, element i + 1 the buffer of attribute i.
    std::vector<unsigned int> m_vbos;
    bool m_prepared = false;
    // Set by every change; the next draw uploads again.
    bool m_changed = false;
    bool m_drawable = false;
};

}  // namespace Tarn

#endif
