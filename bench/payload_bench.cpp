// Benchmarks of the payload code on the benchmark payload: RetrieveResource rebuilding each file
// from the compiled benchmark tables, and the build step's core (compression with its proving round
// trip, then source emission) on all eleven files.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "payload/mkpayload/payload_builder.h"
#include "payload/payload_tables.h"
#include "payload/retrieve_resource.h"

namespace {

// The eleven files as the tables give them back, rebuilt once and shared by the build-step
// benchmarks. An empty list means some file could not be rebuilt.
const std::vector<std::string>& PayloadFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> rebuilt;
        for (std::uint32_t i = 0; i < kResourceCount; ++i) {
            std::int32_t size = 0;
            char* data = RetrieveResource(ResourceTable, ChunkTable, kResourceCount, i, &size);
            if (data == nullptr) {
                return std::vector<std::string>();
            }
            rebuilt.emplace_back(data, static_cast<std::size_t>(size));
            std::free(data);
        }
        return rebuilt;
    }();
    return files;
}

std::int64_t TotalSize(const std::vector<std::string>& files) {
    std::int64_t total = 0;
    for (const std::string& file : files) {
        total += static_cast<std::int64_t>(file.size());
    }
    return total;
}

void RetrieveOne(benchmark::State& state, std::uint32_t index) {
    for (auto _ : state) {
        std::int32_t size = 0;
        char* data = RetrieveResource(ResourceTable, ChunkTable, kResourceCount, index, &size);
        if (data == nullptr) {
            state.SkipWithError("RetrieveResource failed");
            break;
        }
        benchmark::DoNotOptimize(data);
        std::free(data);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(ResourceTable[index].uncompressedSize));
}

void RetrieveAll(benchmark::State& state) {
    std::int64_t total = 0;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        total += ResourceTable[i].uncompressedSize;
    }
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kResourceCount; ++i) {
            std::int32_t size = 0;
            char* data = RetrieveResource(ResourceTable, ChunkTable, kResourceCount, i, &size);
            if (data == nullptr) {
                state.SkipWithError("RetrieveResource failed");
                return;
            }
            benchmark::DoNotOptimize(data);
            std::free(data);
        }
    }
    state.SetBytesProcessed(state.iterations() * total);
}

void BuildWholePayload(benchmark::State& state) {
    const std::vector<std::string>& files = PayloadFiles();
    if (files.empty()) {
        state.SkipWithError("the payload could not be rebuilt from the tables");
        return;
    }
    std::vector<mkpayload::BuiltFile> built(files.size());
    std::string error;
    for (auto _ : state) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!mkpayload::BuildFile(ResourceTable[i].name, files[i], false, built[i], error)) {
                state.SkipWithError(error.c_str());
                return;
            }
        }
        benchmark::DoNotOptimize(built.data());
    }
    state.SetBytesProcessed(state.iterations() * TotalSize(files));
}

void EmitWholePayload(benchmark::State& state) {
    const std::vector<std::string>& files = PayloadFiles();
    if (files.empty()) {
        state.SkipWithError("the payload could not be rebuilt from the tables");
        return;
    }
    std::vector<mkpayload::BuiltFile> built(files.size());
    std::string error;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!mkpayload::BuildFile(ResourceTable[i].name, files[i], false, built[i], error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    std::size_t sourceSize = 0;
    for (auto _ : state) {
        const std::string source = mkpayload::EmitTables(built);
        sourceSize = source.size();
        benchmark::DoNotOptimize(source.data());
    }
    state.counters["source_bytes"] = static_cast<double>(sourceSize);
}

} // namespace

int main(int argc, char** argv) {
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const std::string name = std::string("RetrieveResource/") + ResourceTable[i].name;
        benchmark::RegisterBenchmark(name.c_str(), RetrieveOne, i)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("RetrieveResource/all_eleven", RetrieveAll)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BuildFile/all_eleven", BuildWholePayload)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("EmitTables/all_eleven", EmitWholePayload)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
