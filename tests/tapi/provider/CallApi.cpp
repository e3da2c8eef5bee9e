// Call side of the provider: placing, dialling, dropping and freeing calls,
// their status, and the device identifiers behind a line or call.
#include "Provider.h"

#include "ProviderLog.h"
#include "VarBlock.h"

using namespace provider;
using provider_log::Hex;
using provider_log::Write;

namespace {

const DWORD kCallStatusFixed = sizeof(LINECALLSTATUS);
const DWORD kVarStringFixed = sizeof(VARSTRING);
static_assert(kCallStatusFixed == 56, "LINECALLSTATUS fixed part");
static_assert(kVarStringFixed == 24, "VARSTRING fixed part");

// A string inside the caller's LINECALLPARAMS, read only where it lies within the block.
std::string ParamText(const LINECALLPARAMS* params, DWORD size, DWORD offset) {
    if (size == 0)
        return "none";
    if (offset > params->dwTotalSize || size > params->dwTotalSize - offset || size > 1024)
        return "outside";
    std::string text(reinterpret_cast<const char*>(params) + offset, size);
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    return Text(text.c_str()) + (text.size() + 1 == size ? "" : "(no-nul)");
}

std::string Params(const LINECALLPARAMS* p) {
    if (!p)
        return "params=null";
    if (p->dwTotalSize < offsetof(LINECALLPARAMS, dwNoAnswerTimeout) + 4)
        return "params=short total=" + std::to_string(p->dwTotalSize);
    return "total=" + std::to_string(p->dwTotalSize) + " bearer=" + Hex(p->dwBearerMode) +
           " media=" + Hex(p->dwMediaMode) + " flags=" + Hex(p->dwCallParamFlags) +
           " addressmode=" + Hex(p->dwAddressMode) +
           " addressid=" + std::to_string(p->dwAddressID) +
           " noanswer=" + std::to_string(p->dwNoAnswerTimeout) +
           " orig=" + ParamText(p, p->dwOrigAddressSize, p->dwOrigAddressOffset) + " displayable=" +
           ParamText(p, p->dwDisplayableAddressSize, p->dwDisplayableAddressOffset);
}

DWORD_PTR InstanceOf(HLINE line) {
    OpenLine* open = FindLine(line);
    return open ? open->instance : 0;
}

// A call the program may use: its lineMakeCall has been answered with success.
Call* UsableCall(HCALL handle) {
    Call* c = FindCall(handle);
    return c && c->valid ? c : nullptr;
}

void EraseCall(HCALL handle) {
    std::vector<Call>& calls = Get().calls;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].handle == handle) {
            calls.erase(calls.begin() + i);
            return;
        }
    }
}

// "comm/datamodem": the port opened for the caller (who owns and closes it), then its name.
LONG CommIdentifier(const scenario::Line& line, VARSTRING* id, std::string* detail) {
    std::string name = line.comm.empty() ? "NONE" : line.comm;
    std::vector<BYTE> bytes(sizeof(HANDLE) + name.size() + 1, 0);
    VarBlock block(id, kVarStringFixed);
    block.Add(bytes.data(), bytes.size(), &id->dwStringSize, &id->dwStringOffset);
    id->dwStringFormat = STRINGFORMAT_BINARY;
    if (!block.Finish()) {
        *detail = "handle=none";
        return 0; // too small: the caller asks again with dwNeededSize
    }
    if (line.comm.empty()) {
        *detail = "handle=none reason=no-port";
        return LINEERR_OPERATIONFAILED;
    }
    if (line.commId == scenario::CommIdForm::OffsetOut) {
        id->dwStringOffset = id->dwUsedSize; // just past what was filled
        *detail = "handle=none form=offset-out";
        return 0;
    }
    if (line.commId == scenario::CommIdForm::Pipe) {
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
            *detail = "handle=none reason=pipe-failed";
            return LINEERR_OPERATIONFAILED;
        }
        // The write end stays open for good, so the read end stays a live pipe.
        std::memcpy(reinterpret_cast<BYTE*>(id) + id->dwStringOffset, &readEnd, sizeof readEnd);
        *detail = "handle=" + Hex(reinterpret_cast<DWORD_PTR>(readEnd)) + " port=pipe";
        return 0;
    }
    std::string path = "\\\\.\\" + line.comm;
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        *detail = "handle=none reason=open-failed error=" + std::to_string(GetLastError());
        return LINEERR_OPERATIONFAILED;
    }
    BYTE* string = reinterpret_cast<BYTE*>(id) + id->dwStringOffset;
    std::memcpy(string, &port, sizeof port);
    std::memcpy(string + sizeof port, name.c_str(), name.size() + 1);
    Get().lastComm = port;
    *detail = "handle=" + Hex(reinterpret_cast<DWORD_PTR>(port)) + " port=" + name;
    return 0;
}

} // namespace

extern "C" {

LONG WINAPI lineMakeCallA(HLINE handle, LPHCALL lphCall, LPCSTR destination, DWORD country,
                          LPLINECALLPARAMS const params) {
    State& s = Get();
    OpenLine* open = FindLine(handle);
    LONG result = open ? 0 : LINEERR_INVALLINEHANDLE;
    if (result == 0 && !lphCall)
        result = LINEERR_INVALPOINTER;
    if (result == 0)
        result = Scripted("lineMakeCall", open->device);
    HCALL call = 0;
    if (result == 0) {
        call = static_cast<HCALL>(s.nextHandle++);
        s.calls.push_back(
            Call{call, handle, open->device, false, 0, 0, LineOf(open->device)->callFeatures});
        // The handle is written for the program just before the successful reply.
        result = Request("lineMakeCall", open->device, open->instance, [=](LONG reply) {
            Call* c = FindCall(call);
            if (!c)
                return;
            if (reply != 0) {
                EraseCall(call);
                return;
            }
            c->valid = true;
            Get().lastCall = call;
            *lphCall = call;
            Anchor("makecall");
        });
    }
    Write("call lineMakeCall line=%s destination=%s country=%lu %s result=%s call=%s",
          Hex(handle).c_str(), Text(destination).c_str(), country, Params(params).c_str(),
          Result(result).c_str(), Hex(call).c_str());
    return result;
}

LONG WINAPI lineDialA(HCALL handle, LPCSTR destination, DWORD country) {
    Call* c = UsableCall(handle);
    LONG result = c ? Scripted("lineDial", c->device) : LINEERR_INVALCALLHANDLE;
    if (result == 0)
        result = Request("lineDial", c->device, InstanceOf(c->line), [](LONG reply) {
            if (reply == 0)
                Anchor("dial");
        });
    Write("call lineDial call=%s destination=%s country=%lu result=%s", Hex(handle).c_str(),
          Text(destination).c_str(), country, Result(result).c_str());
    return result;
}

LONG WINAPI lineDrop(HCALL handle, LPCSTR userInfo, DWORD size) {
    Call* c = UsableCall(handle);
    LONG result = c ? Scripted("lineDrop", c->device) : LINEERR_INVALCALLHANDLE;
    if (result == 0) {
        DWORD_PTR instance = InstanceOf(c->line);
        result = Request("lineDrop", c->device, instance, [=](LONG reply) {
            if (reply != 0)
                return;
            if (Get().sc.dropGoesIdle)
                Send(Get().sc.replyDelayMs, static_cast<DWORD>(handle), LINE_CALLSTATE, instance,
                     LINECALLSTATE_IDLE, 0, 0);
            Anchor("drop");
        });
    }
    Write("call lineDrop call=%s userinfo=%s size=%lu result=%s", Hex(handle).c_str(),
          userInfo ? "set" : "null", size, Result(result).c_str());
    return result;
}

LONG WINAPI lineAnswer(HCALL handle, LPCSTR userInfo, DWORD size) {
    Call* c = UsableCall(handle);
    LONG result = c ? Scripted("lineAnswer", c->device) : LINEERR_INVALCALLHANDLE;
    if (result == 0)
        result = Request("lineAnswer", c->device, InstanceOf(c->line), [](LONG) {});
    Write("call lineAnswer call=%s userinfo=%s size=%lu result=%s", Hex(handle).c_str(),
          userInfo ? "set" : "null", size, Result(result).c_str());
    return result;
}

LONG WINAPI lineDeallocateCall(HCALL handle) {
    Call* c = UsableCall(handle);
    LONG result = c ? Scripted("lineDeallocateCall", c->device) : LINEERR_INVALCALLHANDLE;
    if (result == 0)
        EraseCall(handle);
    Write("call lineDeallocateCall call=%s result=%s", Hex(handle).c_str(), Result(result).c_str());
    return result;
}

LONG WINAPI lineGetCallStatus(HCALL handle, LPLINECALLSTATUS status) {
    Call* c = UsableCall(handle);
    LONG result = c ? 0 : LINEERR_INVALCALLHANDLE;
    if (result == 0 && !status)
        result = LINEERR_INVALPOINTER;
    if (result == 0 && status->dwTotalSize < kCallStatusFixed)
        result = LINEERR_STRUCTURETOOSMALL;
    if (result == 0)
        result = Scripted("lineGetCallStatus", c->device);
    if (result == 0) {
        VarBlock block(status, kCallStatusFixed);
        status->dwCallState = c->state;
        status->dwCallStateMode = c->mode;
        status->dwCallPrivilege = LINECALLPRIVILEGE_OWNER;
        status->dwCallFeatures = c->state == LINECALLSTATE_IDLE ? 0 : c->features;
        GetSystemTime(&status->tStateEntryTime);
        block.Finish();
    }
    Write("call lineGetCallStatus call=%s total=%lu result=%s state=%s features=%s",
          Hex(handle).c_str(), status ? status->dwTotalSize : 0ul, Result(result).c_str(),
          Hex(result == 0 ? status->dwCallState : 0).c_str(),
          Hex(result == 0 ? status->dwCallFeatures : 0).c_str());
    return result;
}

LONG WINAPI lineGetIDA(HLINE line, DWORD address, HCALL call, DWORD select, LPVARSTRING id,
                       LPCSTR deviceClass) {
    LONG result = 0;
    DWORD device = 0;
    if (select == LINECALLSELECT_CALL) {
        Call* c = UsableCall(call);
        result = c ? 0 : LINEERR_INVALCALLHANDLE;
        device = c ? c->device : 0;
    } else if (select == LINECALLSELECT_LINE || select == LINECALLSELECT_ADDRESS) {
        OpenLine* open = FindLine(line);
        result = open ? 0 : LINEERR_INVALLINEHANDLE;
        device = open ? open->device : 0;
        if (result == 0 && select == LINECALLSELECT_ADDRESS && address != 0)
            result = LINEERR_INVALADDRESSID;
    } else {
        result = LINEERR_INVALCALLSELECT;
    }
    if (result == 0 && (!id || !deviceClass))
        result = LINEERR_INVALPOINTER;
    if (result == 0 && id->dwTotalSize < kVarStringFixed)
        result = LINEERR_STRUCTURETOOSMALL;
    if (result == 0)
        result = Scripted("lineGetID", device);
    std::string detail;
    if (result == 0) {
        const scenario::Line& l = *LineOf(device);
        std::string cls = deviceClass;
        if (cls == "comm/datamodem") {
            result = CommIdentifier(l, id, &detail);
        } else if (cls == "comm/datamodem/portname" || cls == "comm") {
            VarBlock block(id, kVarStringFixed);
            block.AddString(l.comm, &id->dwStringSize, &id->dwStringOffset);
            id->dwStringFormat = STRINGFORMAT_ASCII;
            block.Finish();
        } else if (cls == "tapi/line") {
            VarBlock block(id, kVarStringFixed);
            block.Add(&device, sizeof device, &id->dwStringSize, &id->dwStringOffset);
            id->dwStringFormat = STRINGFORMAT_BINARY;
            block.Finish();
        } else {
            result = LINEERR_INVALDEVICECLASS;
        }
    }
    Write("call lineGetID line=%s address=%lu call=%s select=%s class=%s total=%lu result=%s "
          "needed=%lu %s",
          Hex(line).c_str(), address, Hex(call).c_str(), Hex(select).c_str(),
          Text(deviceClass).c_str(), id ? id->dwTotalSize : 0ul, Result(result).c_str(),
          result == 0 ? id->dwNeededSize : 0ul, detail.c_str());
    return result;
}

} // extern "C"
