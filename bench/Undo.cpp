// What undo costs: the delete of a template in the middle of a generated repository, saved
// safely, against the same delete recorded as a change, its undo and its redo, each saved the
// same way; and the recording alone. CPU time, best of the runs.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Changes.h"
#include "app/RepositoryFiles.h"
#include "bench/Measure.h"

namespace tessara::bench {

int RunUndoBenchmark(const std::string& input, const std::string& output, int runs) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    TRepositoryFiles files;
    try {
        files.Load(*doc.Get(), input);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot read %s: %s\n", input.c_str(), e.what());
        return 1;
    }
    TXmlDElement* root = doc->DocumentElement();
    const int middle = root->ChildNodes()->Count() / 2;
    double plain = 1e9, recorded = 1e9, undo = 1e9, redo = 1e9, plainEdit = 1e9, recordEdit = 1e9;
    TUndoHistory history;
    for (int run = 0; run < runs; ++run) {
        TXmlDNode* templ = root->ChildNodes()->Item(middle);
        {  // the delete as it was before there was undo: removed, saved
            const TRef<TXmlDNode> hold(templ);
            double start = Now();
            root->RemoveChild(templ);
            const double edit = Now() - start;
            files.Save(*doc.Get(), output);
            plain = std::min(plain, Now() - start);
            plainEdit = std::min(plainEdit, edit);
            root->InsertChild(templ, middle);
        }
        double start = Now();
        TChange change(TChangeKind::Delete, static_cast<TXmlDElement*>(templ));
        change.Remove(templ);
        history.Record(std::move(change));
        const double edit = Now() - start;
        files.Save(*doc.Get(), output);
        recorded = std::min(recorded, Now() - start);
        recordEdit = std::min(recordEdit, edit);
        start = Now();
        history.Undo();
        files.Save(*doc.Get(), output);
        undo = std::min(undo, Now() - start);
        start = Now();
        history.Redo();
        files.Save(*doc.Get(), output);
        redo = std::min(redo, Now() - start);
        history.Undo();
    }
    std::printf("undo: %d templates, best of %d runs, CPU seconds\n", root->ChildNodes()->Count(), runs);
    std::printf("  delete and its save, as before undo   %.4f  (the edit alone %.7f)\n", plain, plainEdit);
    std::printf("  delete recorded as a change, saved    %.4f  (the edit and its record %.7f)\n", recorded, recordEdit);
    std::printf("  undo of the delete, saved             %.4f  (%.2f x the delete with its save)\n", undo, undo / plain);
    std::printf("  redo, saved                           %.4f\n", redo);
    std::remove(output.c_str());
    return 0;
}

}  // namespace tessara::bench
