// Named shared memory that other programs of the same user can map: a file mapping
// on the paging file under Windows, a POSIX shared-memory object elsewhere.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

class CSharedMemoryBlock {
 public:
  virtual ~CSharedMemoryBlock() = default;
  virtual unsigned char* Data() = 0;
  virtual size_t Size() const = 0;
};

// Creates the named block, read and write, all bytes zero; it goes away with the
// object (under Windows when the last view of it closes). Null with *error on failure.
std::unique_ptr<CSharedMemoryBlock> CreateSharedMemoryBlock(const std::string& name, size_t size,
                                                            std::string* error);
// Maps an existing block for reading; null when there is none (or it is not ours, or,
// with POSIX objects, its creator has ended: a killed process leaves its object behind).
std::unique_ptr<CSharedMemoryBlock> OpenSharedMemoryBlock(const std::string& name, size_t size,
                                                          std::string* error);
// The POSIX object a name stands for: "/" + the name with every byte but letters,
// digits, '.', '-' and '_' percent-encoded, + "." + the user id (the objects of all
// users share one namespace). "Grayheron//Tuner" -> "/Grayheron%2F%2FTuner.1000".
std::string SharedMemoryObjectName(const std::string& name);
