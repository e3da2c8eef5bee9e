// Fills a caller's variable-size telephony structure the way the service does:
// the fixed part always, the variable parts only if all of them fit within
// dwTotalSize; otherwise dwNeededSize says how much is wanted.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

class VarBlock {
  public:
    // `block` starts with dwTotalSize, dwNeededSize, dwUsedSize.
    VarBlock(void* block, DWORD fixedSize)
        : base_(static_cast<BYTE*>(block)), fixed_(fixedSize), needed_(fixedSize) {
        total_ = reinterpret_cast<DWORD*>(base_)[0];
        std::memset(base_ + 4, 0, fixed_ - 4);
    }

    // Queues a variable part; its size and offset fields are set by Finish().
    // Returns the part's index for Adjust().
    size_t Add(const void* bytes, size_t size, DWORD* sizeField, DWORD* offsetField) {
        const BYTE* b = static_cast<const BYTE*>(bytes);
        parts_.push_back(Part{std::vector<BYTE>(b, b + size), sizeField, offsetField});
        needed_ += static_cast<DWORD>(size);
        return parts_.size() - 1;
    }
    size_t AddString(const std::string& text, DWORD* sizeField, DWORD* offsetField) {
        return Add(text.c_str(), text.size() + 1, sizeField, offsetField);
    }

    // Writes the parts, or leaves them out when they do not fit. True if they fit.
    bool Finish() {
        DWORD* head = reinterpret_cast<DWORD*>(base_);
        head[1] = needed_;
        fits_ = needed_ <= total_;
        if (!fits_) {
            head[2] = fixed_;
            return false;
        }
        DWORD at = fixed_;
        for (Part& p : parts_) {
            std::memcpy(base_ + at, p.bytes.data(), p.bytes.size());
            *p.sizeField = static_cast<DWORD>(p.bytes.size());
            *p.offsetField = p.bytes.empty() ? 0 : at;
            at += static_cast<DWORD>(p.bytes.size());
        }
        head[2] = at;
        return true;
    }

    bool Fits() const { return fits_; }
    DWORD Total() const { return total_; }
    DWORD Used() const { return fits_ ? needed_ : fixed_; }

  private:
    struct Part {
        std::vector<BYTE> bytes;
        DWORD* sizeField;
        DWORD* offsetField;
    };
    BYTE* base_;
    DWORD fixed_;
    DWORD total_;
    DWORD needed_;
    bool fits_ = false;
    std::vector<Part> parts_;
};
