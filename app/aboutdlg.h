// The about box and the reader of the program's version block.
#pragma once

#include "resources/versioninfo.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QLabel;

// Reads named texts from a version block; with no block, or a block without a
// translation, every lookup fails.
class TProjectRCVersion {
public:
    // The program's own block.
    TProjectRCVersion();
    // A copy of `block`; null means there is no version block.
    explicit TProjectRCVersion(const nimbrel::VersionBlock* block);

    // Each points `value` at the text inside the block (valid while this
    // reader lives) and returns true, or returns false when it is missing.
    bool GetProductName(const char*& value) const;
    bool GetProductVersion(const char*& value) const;
    bool GetCopyright(const char*& value) const;
    bool GetDebug(const char*& value) const;

    // Language in the high 16 bits, code page in the low 16 bits.
    std::uint32_t Translation() const { return translation_; }

private:
    bool GetString(const char* name, const char*& value) const;

    std::unique_ptr<nimbrel::VersionBlock> block_;
    std::uint32_t translation_ = 0;
};

// "About Nimbrel": name, version and legal notice from the version block.
// Labels carry object names "id22001", "id22002", "id22003".
class TNimbrelAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TNimbrelAboutDlg(QWidget* parent = nullptr);
    // Shows the texts of `block` instead of the program's own (null: none).
    TNimbrelAboutDlg(QWidget* parent, const nimbrel::VersionBlock* block);

private:
    void Build();
    void SetupWindow(const TProjectRCVersion& version);

    QLabel* version_ = nullptr;   // 22001
    QLabel* copyright_ = nullptr; // 22002
    QLabel* special_ = nullptr;   // 22003
};
