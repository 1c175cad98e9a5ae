#include "platform/cg/CgError.h"

namespace {

CGerror pending = CG_NO_ERROR;
CGerror lastCode = CG_NO_ERROR;
std::string lastText;

const char* genericText(CGerror code)
{
    switch (code) {
    case CG_NO_ERROR:
        return "No error";
    case CG_INVALID_CONTEXT_HANDLE_ERROR:
        return "Invalid context handle";
    case CG_INVALID_PROGRAM_HANDLE_ERROR:
        return "Invalid program handle";
    case CG_INVALID_PROFILE_ERROR:
        return "Invalid profile";
    case CG_FILE_READ_ERROR:
        return "The file could not be read";
    case CG_COMPILER_ERROR:
        return "The compile returned an error";
    case CG_INVALID_ENUMERANT_ERROR:
        return "Invalid enumerant";
    case CG_INVALID_PARAMETER_ERROR:
        return "Invalid parameter handle";
    case CG_PROGRAM_NOT_LOADED_ERROR:
        return "The program has not been loaded";
    }
    return "Unknown error";
}

} // namespace

void CgError::raise(CGerror code, const std::string& text)
{
    pending = code;
    lastCode = code;
    lastText = text;
}

CGerror CgError::take()
{
    const CGerror code = pending;
    pending = CG_NO_ERROR;
    return code;
}

const char* CgError::text(CGerror code)
{
    if (code != CG_NO_ERROR && code == lastCode && !lastText.empty()) {
        return lastText.c_str();
    }
    return genericText(code);
}
