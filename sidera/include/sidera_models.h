/* The mount models, one row each, numbered from 0 in order: the one table
 * that the library's model catalogue and the host programs' model facts are
 * both made from. Adding a model is adding a row here (and, for a new
 * driver class, its builder in the catalogue); the number of models is the
 * number of rows.
 *
 * SIDERA_MODELS(X) calls X once per row with:
 *   type          the model number CreateMount takes
 *   kind          AltAzimuth or Equatorial; it decides the home position:
 *                 the pole (axes -90, +90 degrees) for an equatorial mount,
 *                 north on the horizon (0, 0) for an alt-azimuth one
 *   family        Simulator (no device), PacketBus, ByteCommand, HexCommand
 *   reportedType  the number the built object reports: rows that share a
 *                 driver class report the number of the class's own row
 *   baud          the serial line's baud rate (0: no line)
 *   topSlew       the fastest the driver slews, degrees per second
 *   tolerance     the goto tolerance the driver starts with, degrees (the
 *                 controller may change it at connect: read the connected
 *                 mount's from GetGotoParameters)
 *   lead          how far ahead a sky goto aims, seconds
 *   english, simplified, traditional   the model's name (UTF-16 literals)
 *
 * Packet-bus rates above about 4.55 degrees a second do not fit the wire, so
 * its fast goto speed, 4, is its top; the hex-command driver clamps rates at
 * 3.4; the byte-command controllers and the alt-azimuth simulator slew at 8,
 * the equatorial simulator at 4. The hex-command models start at 2'
 * (equatorial) or 5' (alt-azimuth); an early controller (model codes 0x80 to
 * 0x82) widens that to 0.1 degree at connect. */
#ifndef SIDERA_SIDERA_MODELS_H_
#define SIDERA_SIDERA_MODELS_H_

/* clang-format off */
#define SIDERA_MODELS(X)                                                                    \
  X(0, AltAzimuth, PacketBus, 0, 19200, 4.0, 1.0 / 12, 10.0,                                \
    u"Vexlor Alt/Az Mount", u"Vexlor 经纬仪", u"Vexlor 經緯儀")                              \
  X(1, Equatorial, PacketBus, 1, 19200, 4.0, 1.0 / 30, 6.0,                                 \
    u"Vexlor EQ Mount", u"Vexlor 赤道仪", u"Vexlor 赤道儀")                                  \
  X(2, AltAzimuth, HexCommand, 2, 9600, 3.4, 1.0 / 12, 0.0,                                 \
    u"Qualen Alt/Az Mount", u"Qualen 经纬仪", u"Qualen 經緯儀")                              \
  X(3, Equatorial, HexCommand, 3, 9600, 3.4, 1.0 / 30, 0.0,                                 \
    u"Qualen EQ Mount", u"Qualen 赤道仪", u"Qualen 赤道儀")                                  \
  X(4, Equatorial, HexCommand, 3, 9600, 3.4, 1.0 / 30, 0.0,                                 \
    u"Brantel EQ-K Mount", u"Brantel 赤道仪", u"Brantel 赤道儀")                             \
  X(5, AltAzimuth, HexCommand, 2, 9600, 3.4, 1.0 / 12, 0.0,                                 \
    u"Brantel Drifter Mount", u"Brantel Drifter 经纬仪", u"Brantel Drifter 經緯儀")          \
  X(6, Equatorial, Simulator, 6, 0, 4.0, 1.0 / 30, 2.0,                                     \
    u"EQ Mount Simulator", u"仿真赤道仪", u"仿真赤道儀")                                     \
  X(7, AltAzimuth, Simulator, 7, 0, 8.0, 0.05, 2.0,                                         \
    u"Alt/Az Mount Simulator", u"仿真经纬仪", u"仿真經緯儀")                                 \
  X(8, AltAzimuth, ByteCommand, 8, 4800, 8.0, 1.0 / 12, 12.0,                               \
    u"Vexlor Pathway-80 Alt/Az Mount", u"Vexlor Pathway-80 经纬仪",                         \
    u"Vexlor Pathway-80 經緯儀")                                                            \
  X(9, AltAzimuth, ByteCommand, 9, 4800, 8.0, 1.0 / 12, 12.0,                               \
    u"Vexlor Pathway-114 Alt/Az Mount", u"Vexlor Pathway-114 经纬仪",                       \
    u"Vexlor Pathway-114 經緯儀")                                                           \
  X(10, AltAzimuth, ByteCommand, 8, 4800, 8.0, 1.0 / 12, 12.0,                              \
    u"Brantel Wayfarer-80 Alt/Az Mount", u"Brantel Wayfarer-80 经纬仪",                     \
    u"Brantel Wayfarer-80 經緯儀")                                                          \
  X(11, AltAzimuth, ByteCommand, 9, 4800, 8.0, 1.0 / 12, 12.0,                              \
    u"Brantel Wayfarer-114 Alt/Az Mount", u"Brantel Wayfarer-114 经纬仪",                   \
    u"Brantel Wayfarer-114 經緯儀")
/* clang-format on */

#endif /* SIDERA_SIDERA_MODELS_H_ */
