#pragma once

#include <optional>
#include <string>

#include "monitor/read_context.h"
#include "monitor/status_decoders.h"

namespace tarnex {

// The network box of the Information page, from the display's stored record.
struct NetworkSettingsTexts {
  std::string mac;
  std::string ipAddress;
  std::string subnetMask;
  std::string gateway;
};

// The PJLink box of the Information page: what a PJLink display says of itself.
struct PjlinkTexts {
  std::string name;          // NAME
  std::string manufacturer;  // INF1
  std::string product;       // INF2
  std::string linkClass;     // CLSS
};

// What one refresh of the Information page read: a text for each box whose query got a
// reply it knows, nothing for the others.
struct InformationReadings {
  bool ran = false;  // the page was on top and the display was asked
  bool cancelled = false;
  bool probeAnswered = false;
  int kind = 0;
  std::optional<std::string> power;
  std::optional<std::string> input;
  std::optional<std::string> signal;
  std::optional<std::string> pictureMode;
  std::optional<std::string> aspect;
  std::optional<FanReading> fan;
  std::optional<std::string> lampTime1;
  std::optional<std::string> lampTime2;
  std::optional<NetworkSettingsTexts> network;
  std::optional<PjlinkTexts> pjlink;  // a PJLink display only
};

// The probe of the Information page: "fy 01 ff\n" with the short serial wait, then the kind
// query. True when the probe got a reply; the kind goes to `kind`.
bool ProbeDisplay(const ReadContext& context, int* kind);

// The Information page's refresh on a console worker, behind the progress popup: the probe
// and the kind, then, for a network display of kind 2 or a serial set ID that answered the
// probe, the status, the diagnosis, the lamp times and the network box. A serial set ID that
// does not answer the probe turns red and is read no further. An abnormal fan is written to
// the history and mailed here, against the display read; its icon is the window's to set.
InformationReadings ReadInformationPage(const ReadContext& context, bool onTop);

// The fan and, when it answered, the lamp times; an abnormal fan writes "Warning Fan
// Operation" and raises the fan alarm with the display's address.
void ReadSingleDiagnosis(const ReadContext& context, InformationReadings& readings);

// "Warning Fan Operation" in the history and the fan alarm, against the display read.
void ReportFanFault(const ReadContext& context);

}  // namespace tarnex
