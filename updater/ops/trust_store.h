#pragma once
// The updater's trusted metadata between attempts (The Update Framework's roles, as whole
// files): an administrators-only folder below the installed folder, beside the work folders'
// parent, made and checked the same way and held while the attempt runs. A file is read only
// when it is a plain file with one name; it is written new under a temporary name, checked by its
// handle and renamed over the old one through that handle, so a reader finds the old bytes or
// the new ones and nothing planted at a name is ever written through.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "admin_folder.h"
#include "metadata_store.h"
#include "scoped_handle.h"

namespace orv::updater {

// "<installed folder>\UpdateTrust".
std::wstring trustFolderOf(const std::wstring& installedFolder);

class TrustStore : public tuf::MetadataStore {
 public:
  // Makes the folder (or checks the existing one, whose DACL is then set again); null when that
  // fails: nothing is trusted or written then.
  static std::unique_ptr<TrustStore> open(const std::wstring& installedFolder,
                                          FolderOwners owners);

  std::optional<std::string> read(const std::string& name) override;
  bool write(const std::string& name, const std::string& bytes) override;
  bool remove(const std::string& name) override;

 private:
  TrustStore(std::wstring folder, ScopedHandle held)
      : folder_(std::move(folder)), held_(std::move(held)) {}
  std::wstring pathOf(const std::string& name) const;

  std::wstring folder_;
  ScopedHandle held_;  // the folder, held without delete sharing while the attempt runs
};

}  // namespace orv::updater
