#include "tarn/scenegraph/component.h"

namespace Tarn::Scenegraph {

void Component::revert(ShaderProgram*) {}

}  // namespace Tarn::Scenegraph
