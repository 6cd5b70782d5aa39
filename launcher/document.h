// The single-document framework the window is built by: an empty document, and the template that
// makes document, frame and view in the framework's order.
#pragma once

#include <functional>
#include <memory>

#include "platform/types.h"

class QWidget;
class CMainFrame;
class CVarnholtLauncherView;

class CDocument {
public:
    virtual ~CDocument() = default;
    virtual BOOL OnNewDocument() { return TRUE; }
};

// The launcher's document: it holds nothing and never loads or saves anything.
class CVarnholtLauncherDoc : public CDocument {
public:
    BOOL OnNewDocument() override;
};

// Makes the document, then the frame (which makes the view), then runs the view's first update.
class CSingleDocTemplate {
public:
    explicit CSingleDocTemplate(UINT nIDResource);
    ~CSingleDocTemplate();

    // The file-new command: nullptr when the document or the frame cannot be made.
    CMainFrame* OpenDocumentFile();
    CDocument* GetDocument() const { return m_pDocument.get(); }
    // Tears the frame and the document down (the frame's view goes with it).
    void CloseAllDocuments();

private:
    UINT m_nIDResource;
    std::unique_ptr<CDocument> m_pDocument;
    std::unique_ptr<CMainFrame> m_pFrame;
};
