#pragma once
// The updater's update flow: one worker thread per attempt and a watcher thread that ends the
// program when a worker asks for it and starts the replacement worker of a retry once the old
// one has unwound. Answers from the page reach the current worker through its answer gate.
#include <memory>
#include <string>

#include "update_flow_seam.h"
#include "work_folder.h"

namespace orv::updater {

// What the test build may change: how long the flow waits for the page before it gives up, and
// who may own the attempts' work folders (work_folder.h).
struct FlowBounds {
  unsigned long pageReadyWaitMs = 60000;  // a page that never loads ends the program after this
  WorkFolderOwners workFolderOwners = WorkFolderOwners::kAdministrators;
};

// The flow for the update server at `baseUrl` (see updateBaseUrl()).
std::unique_ptr<UpdateFlow> createUpdateFlow(const std::wstring& baseUrl, FlowBounds bounds = {});

// The update server's base URL the program was built for: "http://" + the build's update host +
// the server's fixed path. No setting changes it at run time.
std::wstring updateBaseUrl();

}  // namespace orv::updater
