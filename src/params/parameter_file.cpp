#include "params/parameter_file.h"

namespace torvane {

FileResult LoadParameterFile(const std::string& path, DriveState& state) {
    ParameterImage image{};
    FileResult r = ReadParameterFile(path, image);
    if (r.Ok) DecodeParameterImage(image, state.Params, state.CountsPerRev);
    return r;
}

FileResult SaveParameterFile(const std::string& path, const DriveState& state) {
    return WriteParameterFile(path, EncodeParameterImage(state.Params, state.CountsPerRev));
}

}  // namespace torvane
