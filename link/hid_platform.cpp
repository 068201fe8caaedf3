#include "link/hid_platform.h"

#include <cerrno>
#include <cstring>

namespace velqor {

HidError HidSystemError(int errnum, const std::string& what) {
  HidError error;
  error.systemError = errnum;
  const std::string prefix = what + ": ";
  switch (errnum) {
    case 0:
      error.kind = HidErrorKind::None;
      return error;
    case EACCES:
    case EPERM:
      error.kind = HidErrorKind::Permission;
      error.text = prefix +
                   "permission denied; a udev rule that gives your user access to the "
                   "adapter is needed (packaging/linux/70-velqor.rules)";
      return error;
    case ENOENT:
      error.kind = HidErrorKind::NotFound;
      error.text = prefix + "no such device node";
      return error;
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
    case EPIPE:
      error.kind = HidErrorKind::Gone;
      error.text = prefix + "the device was removed";
      return error;
    case EBUSY:
      error.kind = HidErrorKind::Busy;
      error.text = prefix + "the device is busy (in use by another program?)";
      return error;
    case ENOTTY:
    case EINVAL:
      error.kind = HidErrorKind::NotHid;
      error.text = prefix + "not a HID raw device";
      return error;
    default:
      error.kind = HidErrorKind::Other;
      error.text = prefix + std::strerror(errnum);
      return error;
  }
}

}  // namespace velqor
