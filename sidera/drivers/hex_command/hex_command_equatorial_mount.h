// Models 3 and 4: an equatorial mount with hex-command controllers.
//
// The controller's axis 0 reads a quarter turn above the host's hour-angle
// axis (host = controller - pi/2), and the host keeps axis 1 in
// [-pi/2, 3pi/2) so that both pier sides have distinct declination-axis
// angles. Controllers that report an axis not yet initialised are first set
// to the home position (-90, +90 degrees). RTS stays raised. South of the
// equator the direction characters of every motion get the southern bit.
#pragma once

#include "sidera/drivers/hex_command/hex_command_mount.h"
#include "sidera/mounts/equatorial_mount.h"

namespace sidera {

class HexCommandEquatorialMount : public HexCommandMount, public EquatorialMount {
 public:
  explicit HexCommandEquatorialMount(const PortAddress& port = {});
  ~HexCommandEquatorialMount() override;

  MountResult ReadAxisPosition(int axis) override;
  MountResult GotoAxisAngle(int axis, double angle) override;
  MountResult WriteAxisPosition(int axis, double angle) override;

  LineReady BeginTransmit() override;
  // Home positions for axes the controllers report uninitialised, then the
  // family's initialisation, then the hemisphere flag from the site's
  // latitude. Always 0: a controller that missed a step shows it later.
  MountResult InitializeAxes() override;
  // The hemisphere flag follows every change of the site: a motion
  // commanded afterwards gets the direction characters of the new one.
  void SiteChanged() override;
};

}  // namespace sidera
