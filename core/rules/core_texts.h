#pragma once
// The core host's user-visible texts, in one place. The product name and the start-up failure
// text shared by all programs are in product.h; the installation check's message is the shared
// foundation's.
namespace orv::core {

// The pipe's "DownLoadErrorCmd" message box.
inline constexpr wchar_t kDownloadFailedText[] = L"下载文件失败,停止更新";
// The About box's version line, before the version text.
inline constexpr wchar_t kAboutVersionPrefix[] =
    L"Ambrel"
    L"网银助手"
    L"版本号：";

}  // namespace orv::core
