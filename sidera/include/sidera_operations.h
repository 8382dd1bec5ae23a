/*
 * Sidera: the table of the exported operations.
 *
 * One row per operation, in the order of sidera.h. Rows of
 * SIDERA_ORDINAL_OPERATIONS give the ordinal GetOperationByOrdinal answers
 * for, the name, the result type and the parameter list in parentheses;
 * rows of SIDERA_NAMED_OPERATIONS are exported by name only and have no
 * ordinal. The library builds its ordinal table and its list of exported
 * symbols from these rows, and a host may bind the operations the same way,
 * for example:
 *
 *   #define SIDERA_POINTER(ordinal, name, result, parameters) \
 *     result (*name) parameters;
 *   struct Operations { SIDERA_ORDINAL_OPERATIONS(SIDERA_POINTER) };
 *
 * This header compiles as C (C11) and as C++.
 */
#ifndef SIDERA_SIDERA_OPERATIONS_H_
#define SIDERA_SIDERA_OPERATIONS_H_

#include "sidera.h"

/* clang-format off */
#define SIDERA_ORDINAL_OPERATIONS(X)                                                        \
  /* Operations that need no mount. */                                                      \
  X(1, GetErrorMessage, void, (int code, SideraChar16* text))                               \
  X(10, GetMountName, int, (int mountType, SideraChar16* text))                             \
  X(11, CreateMount, int, (int mountType, double latitude, double elevation))               \
  X(12, DestroyMount, int, (void))                                                          \
  X(13, SetSite, int, (double latitude, double elevation))                                  \
  X(14, IsEquatorialMount, int, (void))                                                     \
  X(15, SetComPort, void, (int port))                                                       \
  X(16, RegisterBluetoothPort, int, (uint64_t address, int channel, uint32_t* handle))      \
  /* Star ratings and alignment. */                                                         \
  X(20, CheckStars1, int, (SkyPoint s1))                                                    \
  X(21, CheckStars2, int, (SkyPoint s1, SkyPoint s2, int mode))                             \
  X(22, CheckStars3, int, (SkyPoint s1, SkyPoint s2, SkyPoint s3))                          \
  X(23, SetMountErrors, int, (double collimation, double nonPerpendicularity))              \
  X(24, AlignOneStar, int, (AlignStar s1))                                                  \
  X(25, AlignTwoStars, int, (AlignStar s1, AlignStar s2))                                   \
  X(26, AlignThreeStars, int, (AlignStar s1, AlignStar s2, AlignStar s3))                   \
  X(27, GetAlignmentQuality, int, (double* residual))                                       \
  X(28, GetMountErrors, int, (double* collimation, double* nonPerpendicularity))            \
  X(29, SaveAlignment, int, (AlignmentRecord* record))                                      \
  X(30, LoadAlignment, int, (const AlignmentRecord* record))                                \
  /* Motion. */                                                                             \
  X(40, MoveAxis, int, (int axis, double rate))                                             \
  X(41, GotoAxis, int, (int axis, double angle))                                            \
  X(42, StopAxis, int, (int axis))                                                          \
  X(43, SetAltitudeLimits, int, (double lower, double upper))                               \
  X(44, SyncAxis, int, (int axis, double angle))                                            \
  X(45, SetBacklash, int, (int axis, double angle))                                         \
  X(46, SetGuideRate, int, (int axis, double rate))                                         \
  X(47, GotoSky, int, (double hourAngle, double declination))                               \
  X(48, SetTracking, int, (int on))                                                         \
  X(49, SetTrackingRateMode, int, (int mode))                                               \
  X(50, ExtensionCommand, int, (int value))                                                 \
  X(51, GotoAxes, int, (double angle0, double angle1))                                      \
  X(52, GotoHorizontal, int, (double azimuth, double altitude))                             \
  X(53, SkyToAxes, int, (SkyPoint sky, AxisPair* axes))                                     \
  X(54, GotoSkyWithAxisOffset, int, (SkyPoint target, double offset0, double offset1))      \
  X(55, SetGotoParameters, void, (double approachDistance, double approachOffset,           \
                                  double gotoTolerance, double gotoLeadTime))               \
  X(56, SyncHomePosition, int, (void))                                                      \
  /* Read-outs. */                                                                          \
  X(70, GetAxisPosition, int, (int axis, double* angle))                                    \
  X(71, GetAxisPositions, int, (AxisPair* axes))                                            \
  X(72, GetSkyPosition, int, (SkyPoint* sky))                                               \
  X(73, GetHorizontalPosition, int, (HorizontalPoint* horizontal))                          \
  X(74, GetAxisState, int, (int axis, uint32_t* state))                                     \
  X(75, GetMountState, int, (uint32_t* state))                                              \
  /* Time and angles. */                                                                    \
  X(90, ComputeSiderealTime, double, (CivilDateTime when, double zoneHours, int daylight))  \
  X(91, AngularSeparation, double, (double lon1, double lat1, double lon2, double lat2))

#define SIDERA_NAMED_OPERATIONS(X)                                                          \
  X(GetOperationByOrdinal, void*, (int ordinal))                                            \
  X(GetMotionOutcome, int, (int axis, MotionOutcome* out))                                  \
  /* The many-star pointing model. */                                                        \
  X(AlignStars, int, (const AlignStar* stars, int count))                                   \
  X(GetAlignmentResiduals, int, (double* residuals, int* used, int capacity, int* count))  \
  X(GetAlignmentStars, int, (AlignStar* stars, int capacity, int* count))                   \
  X(SaveAlignmentModel, int, (uint8_t* buffer, int capacity, int* size))                    \
  X(LoadAlignmentModel, int, (const uint8_t* buffer, int size))                             \
  X(SetDebugTopics, void, (const char* topics))                                             \
  X(SetSerialPattern, void, (const char* pattern))                                         \
  /* The connected mount's goto parameters. */                                              \
  X(GetGotoParameters, int, (double* approachDistance, double* approachOffset,              \
                             double* gotoTolerance, double* gotoLeadTime))                 \
  /* Stop every motion, both halts at once. */                                              \
  X(StopEverything, int, (void))
/* clang-format on */

#endif /* SIDERA_SIDERA_OPERATIONS_H_ */
