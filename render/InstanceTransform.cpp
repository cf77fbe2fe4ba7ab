#include "render/InstanceTransform.h"

namespace {

Matrix transformOf(const Vector* position, const Vector* rotation, const Vector* scale) {
    return matrixObjectTransform(position ? *position : Vector{}, rotation ? *rotation : Vector{},
                                 scale ? *scale : Vector{1, 1, 1});
}

} // namespace

Matrix instanceModelMatrix(const RenderInstance& instance) {
    Matrix model = transformOf(instance.position, instance.rotation, instance.scale);
    for (const ParentTransform& parent : instance.parents)
        model = matrixMultiply(model, transformOf(parent.position, parent.rotation, parent.scale));
    return model;
}
