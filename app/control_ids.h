// Ids of the main dialog's controls and commands, and of the About box's.
// Tests find controls by the object names given beside them.
#ifndef MENDORA_APP_CONTROL_IDS_H_
#define MENDORA_APP_CONTROL_IDS_H_

namespace mendora {

enum ControlId : int {
  // Main dialog (template 102).
  kIdPathBox = 1000,
  kIdBrowse = 1001,
  kIdNext = 1002,
  kIdLogBox = 1006,
  kIdSelectFrame = 1007,
  kIdRunningPath = 1008,
  kIdProgress = 1009,
  kIdStop = 1010,
  kIdSourceLabel = 1012,
  kIdPathFrame = 1013,
  kIdProgressFrame = 1014,
  kIdSave = 1015,
  kIdBack = 1016,
  kIdPreview = 1017,
  kIdStatusBar = 59393,
  // Menu 132.
  kIdFileOpen = 57601,
  kIdFileRecovery = 32772,
  kIdFileExit = 32773,
  kIdFileDeletedRows = 32776,
  kIdFileSaveReport = 32777,
  kIdHelpContent = 32774,
  kIdHelpAbout = 32775,
  // About box (template 100).
  kIdAboutOk = 1,
  kIdWebLink = 1001,
  kIdMailLink = 1002,
  kIdLicence = 1022,
  kIdNotice = 1021,
  kIdProductName = 1020,
};

}  // namespace mendora

#endif  // MENDORA_APP_CONTROL_IDS_H_
