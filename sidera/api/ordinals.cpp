// The operations by ordinal number, for hosts that bind the table by number
// rather than by name.
#include "sidera/include/sidera.h"

namespace {

template <typename Function>
void* AsPointer(Function* function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

extern "C" SIDERA_API void* GetOperationByOrdinal(int ordinal) {
  switch (ordinal) {
    case 1:
      return AsPointer(&GetErrorMessage);
    case 10:
      return AsPointer(&GetMountName);
    case 11:
      return AsPointer(&CreateMount);
    case 12:
      return AsPointer(&DestroyMount);
    case 13:
      return AsPointer(&SetSite);
    case 14:
      return AsPointer(&IsEquatorialMount);
    case 15:
      return AsPointer(&SetComPort);
    case 16:
      return AsPointer(&RegisterBluetoothPort);
    case 20:
      return AsPointer(&CheckStars1);
    case 21:
      return AsPointer(&CheckStars2);
    case 22:
      return AsPointer(&CheckStars3);
    case 23:
      return AsPointer(&SetMountErrors);
    case 24:
      return AsPointer(&AlignOneStar);
    case 25:
      return AsPointer(&AlignTwoStars);
    case 26:
      return AsPointer(&AlignThreeStars);
    case 27:
      return AsPointer(&GetAlignmentQuality);
    case 28:
      return AsPointer(&GetMountErrors);
    case 29:
      return AsPointer(&SaveAlignment);
    case 30:
      return AsPointer(&LoadAlignment);
    case 40:
      return AsPointer(&MoveAxis);
    case 41:
      return AsPointer(&GotoAxis);
    case 42:
      return AsPointer(&StopAxis);
    case 43:
      return AsPointer(&SetAltitudeLimits);
    case 44:
      return AsPointer(&SyncAxis);
    case 45:
      return AsPointer(&SetBacklash);
    case 46:
      return AsPointer(&SetGuideRate);
    case 47:
      return AsPointer(&GotoSky);
    case 48:
      return AsPointer(&SetTracking);
    case 49:
      return AsPointer(&SetTrackingRateMode);
    case 50:
      return AsPointer(&ExtensionCommand);
    case 51:
      return AsPointer(&GotoAxes);
    case 52:
      return AsPointer(&GotoHorizontal);
    case 53:
      return AsPointer(&SkyToAxes);
    case 54:
      return AsPointer(&GotoSkyWithAxisOffset);
    case 55:
      return AsPointer(&SetGotoParameters);
    case 56:
      return AsPointer(&SyncHomePosition);
    case 70:
      return AsPointer(&GetAxisPosition);
    case 71:
      return AsPointer(&GetAxisPositions);
    case 72:
      return AsPointer(&GetSkyPosition);
    case 73:
      return AsPointer(&GetHorizontalPosition);
    case 74:
      return AsPointer(&GetAxisState);
    case 75:
      return AsPointer(&GetMountState);
    case 90:
      return AsPointer(&ComputeSiderealTime);
    case 91:
      return AsPointer(&AngularSeparation);
    default:
      return nullptr;
  }
}
