#ifndef TARN_SHADERVARIABLE_H
#define TARN_SHADERVARIABLE_H

namespace Tarn {

// A uniform or attribute of a linked program: its location and GL type.
struct ShaderVariable {
    int location = 0;
    unsigned int type = 0;
};

}  // namespace Tarn

#endif
