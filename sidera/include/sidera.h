/*
 * Sidera: telescope mount control library.
 *
 * A flat C interface. A host loads libsidera.so, binds the operations by name
 * or through GetOperationByOrdinal(), creates one mount with CreateMount(),
 * drives it, and finally calls DestroyMount(). Every mount operation answers
 * with a status code (see SIDERA_RESULT_*); GetErrorMessage() turns a code
 * into display text. Angles are radians, rates radians per second. Text
 * buffers are caller-owned zero-terminated UTF-16 arrays.
 *
 * Threads. Every operation may be called from any thread, and any two may
 * run at the same time, including CreateMount and DestroyMount: a call that
 * is under way when another thread destroys the mount finishes on it first
 * (DestroyMount waits for it), and a call that starts afterwards answers 3
 * (no mount). A host can thus poll GetMountState and the positions from a
 * timer while its user-interface thread commands the mount or tears it down.
 * CreateMount and DestroyMount run one at a time; a mount becomes visible to
 * other threads only once it is connected. When two threads command the
 * same axes at once, the later command wins and the earlier one gives way
 * (a goto ends, a hand move stops); a stop always wins over a motion that
 * was under way when it was called, and nothing the host has stopped starts
 * to move again by itself. Calls return within a few seconds at most: a
 * stop waits up to 2 s for a running motion to give way, DestroyMount up to
 * about 5 s for the mount's threads, and every exchange on the serial line
 * has its own deadline.
 *
 * Stops. StopAxis, SetTracking(0) and DestroyMount never wait behind
 * anything before their stop is on the serial line: a stop goes onto the
 * line ahead of every other request, cuts short the reply wait of the one
 * that holds it (to 50 ms), and is sent before the call waits for the
 * motion it ends; a motion command prepared before a stop is either on the
 * line before it or never sent. DestroyMount halts what the library itself
 * drives (a goto, a backlash take-up, the tracking of an alt-azimuth mount);
 * a rate the host set with MoveAxis, and the tracking of an equatorial
 * mount, which the controller keeps up by itself, are the host's to stop.
 * Those are never dropped: a MoveAxis or SetTracking(1) that answered 0
 * has its command on the serial line before DestroyMount goes on (it
 * waits up to 5 s for that), so what the host was told had started is
 * what the mount is left doing.
 *
 * A controller that stops answering. On a hardware mount the library keeps
 * one record per axis of when its controller last answered, fed by every
 * exchange on the line, whoever makes it; when nothing else has spoken to
 * an axis for a second, the library reads it itself, moving or not. An axis
 * whose latest exchange failed and that has not answered for 1.5 s is
 * silent: within about 2 s of its last answer, whether or not and however
 * often the host polls, every motion ends (a goto, a hand move, tracking;
 * both axes get a halt in case they hear it), and GetMountState,
 * GetAxisState and the position reads return the axis's code (100 or 101).
 * While the axis is silent those read-outs answer at once, reading the line
 * again at most once a second; commands (gotos, moves, tracking, syncs)
 * always try the line first. Recovery needs nothing of the host: the first
 * exchange the controller answers clears the mark, after which the
 * read-outs and the first command work as before. Motions ended by the
 * silence are not resumed by themselves.
 *
 * Read-outs share the line. On a hardware mount every read of an axis's
 * position or state, by any thread (a goto's polls, the line watch, a host
 * read-out), is kept with the time it came. GetAxisPosition,
 * GetAxisPositions, GetSkyPosition, GetHorizontalPosition, GetAxisState and
 * GetMountState answer from a reading at most 500 ms old instead of making
 * an exchange of their own, so a host may poll them from any number of
 * threads at any rate: the line carries at most one read of each kind per
 * axis per 500 ms for all of them (during a goto the goto's own 200 ms
 * status polls serve the state read-outs). Half a second keeps a host that
 * shows a goto's progress at 25 Hz to four exchanges a second and a host
 * polling once a second to one read of each kind per axis, while a
 * position on show is never more than half a second old. Any command to an
 * axis (a goto, a move, a stop, tracking, SyncAxis, SyncHomePosition)
 * forgets its kept readings at once, so a read-out never shows a reading
 * made before the last command. A silent axis is not answered from kept
 * readings. The window is 500 ms of the library's clock: with
 * SIDERA_CLOCK_SCALE above 1 it is shorter in real time, so that a kept
 * reading lags a moving axis no more, in sky time, than at real time. The
 * simulators (models 6 and 7) have no line and compute every read-out
 * afresh.
 *
 * Motions run on the library's own threads; their outcome shows in the
 * status. SetTracking(1) answers 102 while a goto or a hand move drives an
 * axis that tracking needs (a hand move that StopAxis ends resumes tracking
 * when it was requested), and 100 or 101 when an axis does not answer.
 *
 * Gotos. A sky goto (GotoSky) ends when the telescope points within the
 * mount's goto tolerance of the target; an axis goto (GotoAxes, GotoAxis,
 * GotoHorizontal) when each axis is within that tolerance of its own
 * target. The declination axis of an equatorial mount reads -pi/2 up to
 * 3pi/2; an axis-1 target outside that range is driven to the same axis
 * position within it (-100 degrees arrives as 260).
 *
 * This header compiles as C (C11) and as C++.
 */
#ifndef SIDERA_SIDERA_H_
#define SIDERA_SIDERA_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
typedef char16_t SideraChar16;
#else
#include <uchar.h>
typedef char16_t SideraChar16;
#endif

#if defined(SIDERA_BUILDING_LIBRARY)
#define SIDERA_API __attribute__((visibility("default")))
#else
#define SIDERA_API
#endif

/* Status codes. */
enum {
  SIDERA_OK = 0,
  SIDERA_INVALID_MOUNT_ID = 1,
  SIDERA_ALREADY_CONNECTED = 2,
  SIDERA_NO_MOUNT = 3,
  SIDERA_INVALID_PARAMETER = 4,
  SIDERA_PORT_BUSY = 5,
  SIDERA_NO_RESPONSE_AXIS0 = 100,
  SIDERA_NO_RESPONSE_AXIS1 = 101,
  SIDERA_AXIS_BUSY = 102,
  SIDERA_TARGET_TOO_HIGH = 103,
  SIDERA_TARGET_TOO_LOW = 104,
  SIDERA_USER_INTERRUPT = 105,
  SIDERA_ALIGN_FAILED = 200,
  SIDERA_NOT_IMPLEMENTED = 300,
  SIDERA_BAD_ALIGNMENT_DATA = 400
};

/* Axis state word bits (GetAxisState). */
enum {
  SIDERA_AXIS_STOPPED = 1,
  SIDERA_AXIS_RATE_MOTION = 2,
  SIDERA_AXIS_GOTO = 4,
  SIDERA_AXIS_POSITIVE = 8,
  SIDERA_AXIS_FAMILY_16 = 16
};

/* Mount state word values (GetMountState). */
enum {
  SIDERA_MOUNT_STOPPED = 1,
  SIDERA_MOUNT_TRACKING = 2,
  SIDERA_MOUNT_GOTO = 4,
  SIDERA_MOUNT_SLEWING = 8
};

/* Exchange records: plain little-endian values, laid out exactly as below. */
typedef struct SkyPoint {
  double hourAngle; /* local hour angle, grows westward */
  double declination;
} SkyPoint;

typedef struct HorizontalPoint {
  double azimuth; /* from north through east, -pi..pi */
  double altitude;
} HorizontalPoint;

typedef struct AxisPair {
  double axis0; /* right ascension or azimuth axis */
  double axis1; /* declination or altitude axis */
} AxisPair;

/* One star observation for alignment: the star's sky position and the two
 * axis angles read with the star centred. */
typedef struct AlignStar {
  double hourAngle;
  double declination;
  double axis0;
  double axis1;
} AlignStar;

/* Saved alignment model, 200 bytes. */
typedef struct AlignmentRecord {
  int32_t mountType;               /* offset 0 */
  uint8_t padding[4];              /* offset 4: never written by the library */
  double skyToAxesMatrix[9];       /* offset 8, row-major */
  double axesToSkyMatrix[9];       /* offset 80 */
  double axis1IndexError;          /* offset 152 */
  double collimationError;         /* offset 160 */
  double nonPerpendicularityError; /* offset 168 */
  double alignmentResidual;        /* offset 176 */
  int32_t alignmentQuality;        /* offset 184 */
  int32_t isAligned;               /* offset 188 */
  uint32_t reserved;               /* offset 192 */
  uint32_t checksum;               /* offset 196: byte sum of 0..195 */
} AlignmentRecord;

/* The site elevations (metres) SetSite accepts, the ends included. */
#define SIDERA_LOWEST_ELEVATION (-1000.0)
#define SIDERA_HIGHEST_ELEVATION 8848.0

/* Civil date and time, as passed to ComputeSiderealTime. */
typedef struct CivilDateTime {
  uint16_t year;
  uint16_t month;     /* 1..12 */
  uint16_t dayOfWeek; /* not used */
  uint16_t day;       /* 1..31 */
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t millisecond;
} CivilDateTime;

/* The operations. Each has an ordinal for hosts that bind them by number
 * through GetOperationByOrdinal; sidera_operations.h lists them with their
 * ordinals as one table.
 *
 * Ordinals 1..16: operations that need no mount. */
SIDERA_API void GetErrorMessage(int code, SideraChar16* text);
SIDERA_API int GetMountName(int mountType, SideraChar16* text);
SIDERA_API int CreateMount(int mountType, double latitude, double elevation);
SIDERA_API int DestroyMount(void);
SIDERA_API int SetSite(double latitude, double elevation);
SIDERA_API int IsEquatorialMount(void);
SIDERA_API void SetComPort(int port);
SIDERA_API int RegisterBluetoothPort(uint64_t address, int channel, uint32_t* handle);

/* Ordinals 20..30: star ratings and alignment. */
SIDERA_API int CheckStars1(SkyPoint s1);
SIDERA_API int CheckStars2(SkyPoint s1, SkyPoint s2, int mode);
SIDERA_API int CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3);
SIDERA_API int SetMountErrors(double collimation, double nonPerpendicularity);
SIDERA_API int AlignOneStar(AlignStar s1);
SIDERA_API int AlignTwoStars(AlignStar s1, AlignStar s2);
SIDERA_API int AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3);
SIDERA_API int GetAlignmentQuality(double* residual);
SIDERA_API int GetMountErrors(double* collimation, double* nonPerpendicularity);
SIDERA_API int SaveAlignment(AlignmentRecord* record);
SIDERA_API int LoadAlignment(const AlignmentRecord* record);

/* Ordinals 40..56: motion. */
SIDERA_API int MoveAxis(int axis, double rate);
SIDERA_API int GotoAxis(int axis, double angle);
SIDERA_API int StopAxis(int axis);
SIDERA_API int SetAltitudeLimits(double lower, double upper);
SIDERA_API int SyncAxis(int axis, double angle);
SIDERA_API int SetBacklash(int axis, double angle);
SIDERA_API int SetGuideRate(int axis, double rate);
SIDERA_API int GotoSky(double hourAngle, double declination);
SIDERA_API int SetTracking(int on);
SIDERA_API int SetTrackingRateMode(int mode);
SIDERA_API int ExtensionCommand(int value);
SIDERA_API int GotoAxes(double angle0, double angle1);
SIDERA_API int GotoHorizontal(double azimuth, double altitude);
SIDERA_API int SkyToAxes(SkyPoint sky, AxisPair* axes);
SIDERA_API int GotoSkyWithAxisOffset(SkyPoint target, double offset0, double offset1);
SIDERA_API void SetGotoParameters(double approachDistance, double approachOffset,
                                  double gotoTolerance, double gotoLeadTime);
SIDERA_API int SyncHomePosition(void);

/* Ordinals 70..75: read-outs. */
SIDERA_API int GetAxisPosition(int axis, double* angle);
SIDERA_API int GetAxisPositions(AxisPair* axes);
SIDERA_API int GetSkyPosition(SkyPoint* sky);
SIDERA_API int GetHorizontalPosition(HorizontalPoint* horizontal);
SIDERA_API int GetAxisState(int axis, uint32_t* state);
SIDERA_API int GetMountState(uint32_t* state);

/* Ordinals 90, 91: time and angles. */
SIDERA_API double ComputeSiderealTime(CivilDateTime when, double zoneHours, int daylight);
SIDERA_API double AngularSeparation(double lon1, double lat1, double lon2, double lat2);

/* The operation of an ordinal, or null for an ordinal that has none. */
SIDERA_API void* GetOperationByOrdinal(int ordinal);

/* How a motion ended, exported by name only (no ordinal). The library
 * records the outcome of every motion once, where it ends: for the mount,
 * the last goto (GotoSky, GotoSkyWithAxisOffset, GotoHorizontal, GotoAxes,
 * GotoAxis); for each axis, the last motion of that axis (a goto, which is
 * recorded on both axes, a MoveAxis, the tracking start of an equatorial
 * mount). A host that watches a goto reads the mount's record right after
 * the goto answered 0: `started` is then its goto's number. Its goto has
 * ended once `command` equals that number (the outcome is the goto's); a
 * `command` or `started` beyond it means a newer goto replaced it. Command
 * numbers grow by one with every command to the mount (stops included) and
 * start again at 1 after 2^31 - 1. The record is a copy: reading it makes no
 * exchange with the controller and never waits for a motion or a stop. */
enum {
  SIDERA_OUTCOME_NONE = 0,        /* nothing has ended since CreateMount */
  SIDERA_OUTCOME_ARRIVED = 1,     /* a goto ended within the goto tolerance */
  SIDERA_OUTCOME_NOT_ARRIVED = 2, /* a goto used up its passes outside the tolerance */
  SIDERA_OUTCOME_STOPPED = 3,     /* a caller stopped it (StopAxis, DestroyMount) */
  SIDERA_OUTCOME_REPLACED = 4,    /* a newer command took its axes */
  SIDERA_OUTCOME_FAILED = 5,      /* ended with `code` (an axis stalled or fell silent, ...) */
  SIDERA_OUTCOME_STARTED = 6      /* a rate or tracking was set; the controller keeps it up */
};

/* The motion an outcome belongs to. */
enum {
  SIDERA_MOTION_NONE = 0,
  SIDERA_MOTION_SKY_GOTO = 1,  /* GotoSky, GotoSkyWithAxisOffset */
  SIDERA_MOTION_AXES_GOTO = 2, /* GotoAxes, GotoAxis, GotoHorizontal */
  SIDERA_MOTION_RATE = 3,      /* MoveAxis */
  SIDERA_MOTION_TRACKING = 4   /* the tracking start of an equatorial mount */
};

/* The axis argument of GetMotionOutcome that selects the mount's record. */
#define SIDERA_OUTCOME_MOUNT (-1)

/* One recorded outcome, 40 bytes:
 * command  the number of the motion that ended; 0 before the first.
 * started  the number of the newest motion started for this record.
 * outcome  SIDERA_OUTCOME_*.
 * code     0 arrived, not arrived or started; 105 stopped or replaced;
 *          else why it failed (100/101: that axis does not answer, or was
 *          commanded and did not move for 5 s; 102: the axes did not come
 *          free).
 * axis     the axis a failure concerns (0 or 1), else -1.
 * motion   SIDERA_MOTION_*.
 * tick     when it ended, in the library's milliseconds (the clock of its
 *          motions, which SIDERA_CLOCK_SCALE scales).
 * error    radians still to go at the goto's last reading of the axes (the
 *          final error when it arrived): on the sky for a sky goto, the
 *          larger of the two axis distances for an axis goto; 0 for a rate
 *          or tracking, and for a goto that read no position. */
typedef struct MotionOutcome {
  uint32_t command;  /* offset 0 */
  uint32_t started;  /* offset 4 */
  int32_t outcome;   /* offset 8 */
  int32_t code;      /* offset 12 */
  int32_t axis;      /* offset 16 */
  int32_t motion;    /* offset 20 */
  uint32_t tick;     /* offset 24 */
  uint32_t reserved; /* offset 28: 0 */
  double error;      /* offset 32 */
} MotionOutcome;

/* The recorded outcome of the mount's last goto (axis SIDERA_OUTCOME_MOUNT)
 * or of an axis's last motion (axis 0 or 1). 3 without a mount, 4 for a
 * null pointer or another axis; else 0. */
SIDERA_API int GetMotionOutcome(int axis, MotionOutcome* out);

/* Exported by name only: the many-star pointing model.
 * AlignStars fits the pointing model to `count` centred stars (1 to any
 * number): one to three as AlignOneStar, AlignTwoStars, AlignThreeStars;
 * from four on, by least squares, the rotation and the mechanical terms the
 * stars can fix (axis index errors, collimation, non-perpendicularity, the
 * tilt of the polar or azimuth axis two ways, tube flexure and, on an
 * equatorial mount, declination-axis flexure). A star whose residual is far
 * above the others' is dropped and the rest fitted again. The newest star
 * (the last) then reads back exactly. 0; 3 without a mount; 4 for a null
 * pointer or a count below 1; 200 when the stars cannot fix a model (too
 * close together, too few left once the wrong ones are dropped), the model
 * then left as it was. Afterwards GetAlignmentQuality gives the RMS of the
 * used stars' residuals. */
SIDERA_API int AlignStars(const AlignStar* stars, int count);
/* For each star of the last AlignStars, in the order given: its residual on
 * the sky (radians) and whether the fit used it (1) or dropped it (0). At
 * most `capacity` entries are written; *count is the number of stars (0
 * after any other alignment or a load of a 200-byte record). 0; 3 without a
 * mount; 4 for a null pointer or a negative capacity. */
SIDERA_API int GetAlignmentResiduals(double* residuals, int* used, int capacity, int* count);
/* The stars of the model in force, as its fit was given them, in that order
 * (sky angles reduced to a half-turn either side of 0): after AlignStars or
 * a LoadAlignmentModel, so that a host can go on adding stars to a loaded
 * model; none after a load of a 200-byte record. At most `capacity` are
 * written; *count is their number. 0; 3 without a mount; 4 for a null
 * pointer or a negative capacity. */
SIDERA_API int GetAlignmentStars(AlignStar* stars, int capacity, int* count);
/* The whole pointing model with its stars, in a versioned format of the
 * library's own (for a host to keep in a file). *size is set to the bytes
 * the model needs; they are written when `capacity` holds them. 0; 3
 * without a mount; 4 for a null `size`, or a null or short buffer. */
SIDERA_API int SaveAlignmentModel(uint8_t* buffer, int capacity, int* size);
/* Loads what SaveAlignmentModel wrote. 0; 3 without a mount; 4 for a null
 * buffer; 400 for data that is damaged, of another version or of another
 * model (the reason goes to the debug log, topic "motion"), the model then
 * left as it was. */
SIDERA_API int LoadAlignmentModel(const uint8_t* buffer, int size);

/* Exported by name only (no ordinal): settings for hosts with threads of
 * their own, which must not change their environment while other threads
 * may read it. */
/* Switches the library's debug log (standard error) to the topics named as
 * in SIDERA_DEBUG ("1" or "all", or "io", "motion"; anything else: off), at
 * once; SIDERA_DEBUG is then no longer read. Null: follow SIDERA_DEBUG again. */
SIDERA_API void SetDebugTopics(const char* topics);
/* The device path pattern of the serial ports (as SIDERA_SERIAL_PATTERN:
 * "%d" becomes the port number), used from the next CreateMount instead of
 * the environment's. Null: SIDERA_SERIAL_PATTERN again. */
SIDERA_API void SetSerialPattern(const char* pattern);

/* Exported by name only: the goto parameters of the current mount, as
 * SetGotoParameters takes them (radians, and seconds for the lead time).
 * The tolerance is the one the mount decided at connect: a controller may
 * need a wider one than its model's (0.1 degree for early hex-command
 * firmware). Each pointer may be null. 3 without a mount; else 0. */
SIDERA_API int GetGotoParameters(double* approachDistance, double* approachOffset,
                                 double* gotoTolerance, double* gotoLeadTime);

/* Exported by name only: stops every motion of the current mount, tracking
 * included, as SetTracking(0), StopAxis(0) and StopAxis(1) would, but reads
 * nothing first and puts both axes' halts on the line at once (one after the
 * other, their replies read after, where the controllers answer in order).
 * 3 without a mount; else the first halt's failure, or 0. */
SIDERA_API int StopEverything(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* SIDERA_SIDERA_H_ */
