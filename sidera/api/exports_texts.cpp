// Exported text look-ups: status-code messages and model names. Neither
// needs a mount; both read the user's language on every call.
#include "sidera/api/texts.h"
#include "sidera/core/types.h"
#include "sidera/include/sidera.h"

using sidera::CurrentTextLanguage;

extern "C" SIDERA_API void GetErrorMessage(int code, SideraChar16* text) {
  if (text == nullptr) {
    return;
  }
  sidera::CopyText(sidera::ErrorMessageText(code, CurrentTextLanguage()), text);
}

extern "C" SIDERA_API int GetMountName(int mountType, SideraChar16* text) {
  const char16_t* name = sidera::MountNameText(mountType, CurrentTextLanguage());
  if (name == nullptr) {
    return sidera::kInvalidMountId;
  }
  // A null buffer has nowhere to take the name: report it rather than
  // crash or claim success.
  if (text == nullptr) {
    return sidera::kInvalidParameter;
  }
  sidera::CopyText(name, text);
  return sidera::kOk;
}
