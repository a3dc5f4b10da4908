// IViewObject2 and IDataObject: the form drawn into a host's device
// context, and rendered as a metafile picture for data transfer.
#include <shlobj.h>

#include "ComGuard.h"
#include "FormDesign.h"
#include "ReaderControl.h"

namespace qelt::control {

namespace {

FORMATETC PictureFormat() { return FORMATETC{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT}; }

HRESULT CheckFormat(const FORMATETC* format) {
  if (!format) return E_POINTER;
  if (format->cfFormat != CF_METAFILEPICT) return DV_E_FORMATETC;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!(format->tymed & TYMED_MFPICT)) return DV_E_TYMED;
  return S_OK;
}

// The form as a metafile picture of the given HIMETRIC size.
HGLOBAL RenderPicture(SIZEL extent) {
  HDC dc = ::CreateMetaFileW(nullptr);
  if (!dc) ThrowResult(E_OUTOFMEMORY);
  ::SetWindowOrgEx(dc, 0, 0, nullptr);
  ::SetWindowExtEx(dc, kFormWidthPixels, kFormHeightPixels, nullptr);
  DrawForm(dc, RECT{0, 0, kFormWidthPixels, kFormHeightPixels});
  HMETAFILE metafile = ::CloseMetaFile(dc);
  if (!metafile) ThrowResult(E_OUTOFMEMORY);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
  if (!memory) {
    ::DeleteMetaFile(metafile);
    ThrowResult(E_OUTOFMEMORY);
  }
  auto* picture = static_cast<METAFILEPICT*>(::GlobalLock(memory));
  *picture = METAFILEPICT{MM_ANISOTROPIC, extent.cx, extent.cy, metafile};
  ::GlobalUnlock(memory);
  return memory;
}

}  // namespace

// IViewObject2

STDMETHODIMP ReaderControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                                 LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDc || !bounds) return E_INVALIDARG;
  DrawForm(drawDc, RECT{bounds->left, bounds->top, bounds->right, bounds->bottom});
  return S_OK;
}

STDMETHODIMP ReaderControl::GetColorSet(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (!colors) return E_POINTER;
  *colors = nullptr;
  return aspect == DVASPECT_CONTENT ? S_FALSE : DV_E_DVASPECT;  // system colours only
}

STDMETHODIMP ReaderControl::Freeze(DWORD aspect, LONG, void*, DWORD* freeze) {
  if (!freeze) return E_POINTER;
  *freeze = 0;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  // The drawing depends on nothing that changes, so a frozen view is the live one.
  *freeze = nextFreeze_++;
  return S_OK;
}

STDMETHODIMP ReaderControl::Unfreeze(DWORD freeze) {
  return freeze != 0 && freeze < nextFreeze_ ? S_OK : OLE_E_NOCONNECTION;
}

STDMETHODIMP ReaderControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  const auto keep = KeepAlive();  // the former sink's release calls out
  viewSink_ = sink;
  viewAspects_ = aspects;
  viewFlags_ = flags;
  if (sink && (flags & ADVF_PRIMEFIRST)) ViewChanged();
  return S_OK;
}

STDMETHODIMP ReaderControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewFlags_;
  if (sink) {
    *sink = viewSink_.Get();
    if (*sink) (*sink)->AddRef();
  }
  return S_OK;
}

STDMETHODIMP ReaderControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

// IDataObject

STDMETHODIMP ReaderControl::GetData(FORMATETC* format, STGMEDIUM* medium) try {
  if (!medium) return E_POINTER;
  const HRESULT hr = CheckFormat(format);
  if (FAILED(hr)) return hr;
  medium->tymed = TYMED_MFPICT;
  medium->hMetaFilePict = RenderPicture(extent_);
  medium->pUnkForRelease = nullptr;
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::GetDataHere(FORMATETC* format, STGMEDIUM*) {
  const HRESULT hr = CheckFormat(format);
  return FAILED(hr) ? hr : DV_E_TYMED;  // a metafile picture cannot be drawn into the caller's medium
}

STDMETHODIMP ReaderControl::QueryGetData(FORMATETC* format) { return CheckFormat(format); }

STDMETHODIMP ReaderControl::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) {
  if (!in || !out) return E_POINTER;
  *out = *in;
  out->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP ReaderControl::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP ReaderControl::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  if (!formats) return E_POINTER;
  *formats = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  const FORMATETC picture = PictureFormat();
  return ::SHCreateStdEnumFmtEtc(1, &picture, formats);
}

STDMETHODIMP ReaderControl::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) {
  if (!dataAdvise_) {
    const HRESULT hr = ::CreateDataAdviseHolder(&dataAdvise_);
    if (FAILED(hr)) return hr;
  }
  return dataAdvise_->Advise(this, format, flags, sink, connection);
}

STDMETHODIMP ReaderControl::DUnadvise(DWORD connection) {
  return dataAdvise_ ? dataAdvise_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP ReaderControl::EnumDAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  return dataAdvise_ ? dataAdvise_->EnumAdvise(advise) : OLE_E_ADVISENOTSUPPORTED;
}

}  // namespace qelt::control
