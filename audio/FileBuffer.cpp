#include "audio/FileBuffer.h"

#include <algorithm>
#include <stdexcept>

namespace audio {

file_buffer::file_buffer(std::unique_ptr<mapped_file::MappedFile> file) : file_(std::move(file)) {
    const std::uint64_t size = file_->fileSize();
    if (size == 0)
        return;  // nothing to map; every block request is out of range
    const bool writable = file_->mode().writableViews;
    base_ = size < kWholeFileLimit ? file_->mapView(0, mapped_file::kToEnd, writable)
                                   : file_->mapView(0, kViewSize, writable);
}

file_buffer::~file_buffer() {
    // Views go before the file, so an output file can be cut to its length.
    base_.reset();
    moving_.reset();
    if (auto* output = outputFile()) {
        try {
            output->closeFile();
        } catch (const std::exception&) {
            // The cut failed: the file keeps its reserved tail, its header still
            // describes the frames written.
        }
    }
}

mapped_file::OutputFile* file_buffer::outputFile() {
    return dynamic_cast<mapped_file::OutputFile*>(file_.get());
}

bool file_buffer::reaches(const mapped_file::ViewHandle& view, std::uint64_t offset, std::uint64_t end) {
    return view && view->offset <= offset && view->offset + view->length >= end;
}

FileBlock file_buffer::get_block(std::uint64_t offset, std::uint64_t size) {
    const std::uint64_t fileSize = file_->fileSize();
    if (offset >= fileSize || size > fileSize - offset)
        throw std::out_of_range("file_buffer::get_block");
    const std::uint64_t end = offset + size;
    if (reaches(base_, offset, end))
        return serve(base_, offset);
    if (reaches(moving_, offset, end))
        return serve(moving_, offset);
    const std::uint64_t start = offset < kHeaderRegion ? 0 : offset;
    moving_ = newView(start, end - start);
    if (start == 0)
        base_ = moving_;
    return serve(moving_, offset);
}

FileBlock file_buffer::readAheadBlock(std::uint64_t offset) {
    const std::uint64_t fileSize = file_->fileSize();
    const std::uint64_t left = offset < fileSize ? fileSize - offset : 0;
    return get_block(offset, std::min(kViewSize, left));
}

FileBlock file_buffer::serve(const mapped_file::ViewHandle& view, std::uint64_t offset) const {
    FileBlock block;
    block.begin = view->data + (offset > view->offset ? offset - view->offset : 0);
    block.end = view->data + view->length;
    block.offset = std::max(offset, view->offset);
    block.view = view;
    return block;
}

// Starts up to one granularity unit before the aligned request, so a reader
// stepping back a little stays in the view; at least 512 KiB long, and
// running to the end of the file when less than 512 KiB would be left over.
mapped_file::ViewHandle file_buffer::newView(std::uint64_t start, std::uint64_t length) {
    const std::uint64_t granularity = mapped_file::allocationGranularity();
    std::uint64_t viewStart = start / granularity * granularity;
    if (viewStart > granularity)
        viewStart -= granularity;
    const std::uint64_t fileSize = file_->fileSize();
    std::uint64_t viewEnd = std::min(viewStart + std::max(length, kViewSize), fileSize);
    if (fileSize - viewEnd < kViewSize)
        viewEnd = fileSize;
    return file_->mapView(viewStart, viewEnd - viewStart, file_->mode().writableViews);
}

}  // namespace audio
