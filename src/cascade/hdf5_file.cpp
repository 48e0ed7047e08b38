#include "cascade/hdf5_file.h"

#include <hdf5.h>
#include <hdf5_hl.h>

#include <cstdio>
#include <optional>
#include <utility>

namespace cascade {
namespace {

static_assert(sizeof(hid_t) == sizeof(std::int64_t), "identifiers are kept as 64-bit numbers");

/// HDF5 prints its error stack on standard error unless told not to: every
/// failure here is reported once, in one line, by whoever catches it. And a
/// file whose closing failed (a full disk) stays open inside the library,
/// whose own clean-up at exit then crashes on it: every file is closed here,
/// so that clean-up is not asked for (where HDF5 is not yet started).
void quiet_errors() {
  H5dont_atexit();
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

hid_t checked(hid_t id, const char* what) {
  if (id < 0) throw results_file_error(what);
  return id;
}

void checked_status(herr_t status, const char* what) {
  if (status < 0) throw results_file_error(what);
}

/// An identifier closed when it goes out of scope.
struct held {
  hid_t id;
  herr_t (*close)(hid_t);
  held(hid_t held_id, herr_t (*closer)(hid_t)) : id(held_id), close(closer) {}
  held(const held&) = delete;
  held& operator=(const held&) = delete;
  ~held() {
    if (id >= 0) close(id);
  }
};

hid_t file_type_of(value_format format) { return format == value_format::float32 ? H5T_IEEE_F32LE : H5T_IEEE_F64LE; }

const char* name_of(dataset_name dataset) { return dataset == dataset_name::x ? "x" : "w"; }

/// What netCDF-4 calls a dimension that has no variable of its own: a
/// dimension scale of that name whose NAME says so, and no values stored.
std::string dimension_without_variable(std::int64_t length) {
  char name[96];
  std::snprintf(name, sizeof name, "This is a netCDF dimension but not a netCDF variable. %10lld",
                static_cast<long long>(length));
  return name;
}

void write_attribute(hid_t where, const file_attribute& attribute) {
  const held space{checked(H5Screate(H5S_SCALAR), "cannot describe an attribute"), H5Sclose};
  const auto write = [&](hid_t type, const void* value) {
    const held made{checked(H5Acreate2(where, attribute.name.c_str(), type, space.id, H5P_DEFAULT, H5P_DEFAULT),
                            "cannot create an attribute"),
                    H5Aclose};
    checked_status(H5Awrite(made.id, type, value), "cannot write an attribute");
  };
  if (const auto* text = std::get_if<std::string>(&attribute.value)) {
    const held type{checked(H5Tcopy(H5T_C_S1), "cannot describe a text attribute"), H5Tclose};
    H5Tset_size(type.id, H5T_VARIABLE);
    H5Tset_cset(type.id, H5T_CSET_UTF8);
    const char* pointer = text->c_str();
    write(type.id, &pointer);
  } else if (const auto* number = std::get_if<double>(&attribute.value)) {
    write(H5T_NATIVE_DOUBLE, number);
  } else if (const auto* whole = std::get_if<std::int64_t>(&attribute.value)) {
    write(H5T_NATIVE_INT64, whole);
  } else if (const auto* list = std::get_if<std::vector<std::uint64_t>>(&attribute.value)) {
    const hsize_t length[1] = {list->size()};
    const held array{checked(H5Screate_simple(1, length, nullptr), "cannot describe an attribute"), H5Sclose};
    const held made{
        checked(H5Acreate2(where, attribute.name.c_str(), H5T_STD_U64LE, array.id, H5P_DEFAULT, H5P_DEFAULT),
                "cannot create an attribute"),
        H5Aclose};
    checked_status(H5Awrite(made.id, H5T_NATIVE_UINT64, list->data()), "cannot write an attribute");
  } else {
    write(H5T_NATIVE_UINT64, &std::get<std::uint64_t>(attribute.value));
  }
}

/// One root attribute that holds one text or one number, or nothing.
std::optional<attribute_value> read_attribute(hid_t attribute) {
  const held space{H5Aget_space(attribute), H5Sclose};
  const held type{H5Aget_type(attribute), H5Tclose};
  if (space.id < 0 || type.id < 0) return std::nullopt;
  // An array of whole numbers: what an ensemble's seeds are (one dimension, none negative).
  if (H5Sget_simple_extent_type(space.id) == H5S_SIMPLE && H5Sget_simple_extent_ndims(space.id) == 1 &&
      H5Tget_class(type.id) == H5T_INTEGER && H5Tget_sign(type.id) == H5T_SGN_NONE) {
    const hssize_t count = H5Sget_simple_extent_npoints(space.id);
    if (count < 1 || count > (1 << 24)) return std::nullopt;
    std::vector<std::uint64_t> list(static_cast<std::size_t>(count));
    if (H5Aread(attribute, H5T_NATIVE_UINT64, list.data()) < 0) return std::nullopt;
    return list;
  }
  if (H5Sget_simple_extent_npoints(space.id) != 1) return std::nullopt;
  switch (H5Tget_class(type.id)) {
    case H5T_STRING: {
      if (H5Tis_variable_str(type.id) > 0) {
        const held memory{H5Tcopy(H5T_C_S1), H5Tclose};
        H5Tset_size(memory.id, H5T_VARIABLE);
        H5Tset_cset(memory.id, H5Tget_cset(type.id));
        char* text = nullptr;
        if (H5Aread(attribute, memory.id, &text) < 0 || text == nullptr) return std::nullopt;
        std::string value(text);
        H5free_memory(text);
        return value;
      }
      const std::size_t size = H5Tget_size(type.id);
      if (size == 0 || size > (1u << 20)) return std::nullopt;
      std::string value(size, '\0');
      if (H5Aread(attribute, type.id, value.data()) < 0) return std::nullopt;
      value.resize(value.find('\0') == std::string::npos ? size : value.find('\0'));
      return value;
    }
    case H5T_FLOAT: {
      double value = 0;
      if (H5Aread(attribute, H5T_NATIVE_DOUBLE, &value) < 0) return std::nullopt;
      return value;
    }
    case H5T_INTEGER: {
      if (H5Tget_sign(type.id) == H5T_SGN_NONE) {
        std::uint64_t value = 0;
        if (H5Aread(attribute, H5T_NATIVE_UINT64, &value) < 0) return std::nullopt;
        return value;
      }
      std::int64_t value = 0;
      if (H5Aread(attribute, H5T_NATIVE_INT64, &value) < 0) return std::nullopt;
      return value;
    }
    default:
      return std::nullopt;
  }
}

herr_t collect_attribute(hid_t location, const char* name, const H5A_info_t*, void* into) {
  const held attribute{H5Aopen(location, name, H5P_DEFAULT), H5Aclose};
  if (attribute.id < 0) return 0;
  if (auto value = read_attribute(attribute.id)) {
    static_cast<std::vector<file_attribute>*>(into)->push_back({name, std::move(*value)});
  }
  return 0;
}

/// The dataset's values [first, first + count) as a selection of its space (the caller closes it).
/// (Of row `row` of a two-dimensional one.)
hid_t selection(hid_t dataset, std::int64_t row, std::int64_t first, std::int64_t count) {
  const hid_t space = checked(H5Dget_space(dataset), "cannot select values of a dataset");
  const bool rows = H5Sget_simple_extent_ndims(space) == 2;
  const hsize_t start[2] = {static_cast<hsize_t>(rows ? row : first), static_cast<hsize_t>(first)};
  const hsize_t counts[2] = {rows ? 1 : static_cast<hsize_t>(count), static_cast<hsize_t>(count)};
  if (H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, counts, nullptr) < 0) {
    H5Sclose(space);
    throw results_file_error("cannot select values of a dataset");
  }
  return space;
}

}  // namespace

hdf5_writer::hdf5_writer(const std::string& path, const dataset_layout& layout) : format_(layout.format) {
  quiet_errors();
  try {
    // netCDF-4 readers expect the order in which links and attributes were made.
    const held file_properties{checked(H5Pcreate(H5P_FILE_CREATE), "cannot create the file"), H5Pclose};
    H5Pset_link_creation_order(file_properties.id, H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED);
    H5Pset_attr_creation_order(file_properties.id, H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED);
    file_ = checked(H5Fcreate(path.c_str(), H5F_ACC_EXCL, file_properties.id, H5P_DEFAULT), "cannot create the file");

    // An ensemble's realization comes first, then t (its rows are series).
    const bool ensemble = layout.rows > 0;
    const int rank = ensemble ? 2 : 1;
    const auto dimension = [&](const char* name, std::int64_t length, std::int64_t id) {
      const hsize_t extent[1] = {static_cast<hsize_t>(length)};
      const held space{checked(H5Screate_simple(1, extent, nullptr), "cannot describe a dimension"), H5Sclose};
      const hid_t made =
          checked(H5Dcreate2(file_, name, H5T_IEEE_F32BE, space.id, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                  "cannot create a dimension");
      checked_status(H5DSset_scale(made, dimension_without_variable(length).c_str()), "cannot make a dimension");
      write_attribute(made, {"_Netcdf4Dimid", id});
      return made;
    };
    if (ensemble) realization_ = dimension("realization", layout.rows, 0);
    dimension_ = dimension("t", layout.length, ensemble ? 1 : 0);
    const hsize_t extent[2] = {static_cast<hsize_t>(ensemble ? layout.rows : layout.length),
                               static_cast<hsize_t>(layout.length)};
    const held space{checked(H5Screate_simple(rank, extent, nullptr), "cannot describe the datasets"), H5Sclose};

    const held values{checked(H5Pcreate(H5P_DATASET_CREATE), "cannot create the datasets"), H5Pclose};
    const hsize_t chunk[2] = {static_cast<hsize_t>(ensemble ? 1 : layout.chunk), static_cast<hsize_t>(layout.chunk)};
    checked_status(H5Pset_chunk(values.id, rank, chunk), "cannot chunk the datasets");
    // Every value is written: nothing is filled in first.
    H5Pset_fill_time(values.id, H5D_FILL_TIME_NEVER);
    H5Pset_alloc_time(values.id, H5D_ALLOC_TIME_INCR);
    if (layout.deflate) {
      checked_status(H5Pset_shuffle(values.id), "cannot shuffle the datasets");
      checked_status(H5Pset_deflate(values.id, 4), "cannot deflate the datasets");
    }
    const auto make = [&](dataset_name name) {
      const hid_t made = checked(
          H5Dcreate2(file_, name_of(name), file_type_of(layout.format), space.id, H5P_DEFAULT, values.id, H5P_DEFAULT),
          "cannot create a dataset");
      if (ensemble) checked_status(H5DSattach_scale(made, realization_, 0), "cannot attach a dataset to realization");
      checked_status(H5DSattach_scale(made, dimension_, rank - 1), "cannot attach a dataset to t");
      return made;
    };
    x_ = make(dataset_name::x);
    if (layout.weights) w_ = make(dataset_name::w);
  } catch (...) {
    close_all();
    throw;
  }
}

hdf5_writer::~hdf5_writer() { close_all(); }

void hdf5_writer::close_all() noexcept {
  for (std::int64_t* id : {&x_, &w_, &dimension_, &realization_}) {
    if (*id >= 0) H5Dclose(*id);
    *id = -1;
  }
  if (file_ >= 0) H5Fclose(file_);
  file_ = -1;
}

void hdf5_writer::write(dataset_name dataset, std::int64_t row, std::int64_t first, std::int64_t count,
                        const void* bytes) {
  const hid_t into = dataset == dataset_name::x ? x_ : w_;
  const held file_space{selection(into, row, first, count), H5Sclose};
  const hsize_t counts[1] = {static_cast<hsize_t>(count)};
  const held memory_space{checked(H5Screate_simple(1, counts, nullptr), "cannot write the values"), H5Sclose};
  checked_status(H5Dwrite(into, file_type_of(format_), memory_space.id, file_space.id, H5P_DEFAULT, bytes),
                 dataset == dataset_name::x ? "cannot write the values" : "cannot write the weights");
}

void hdf5_writer::finish(const std::vector<file_attribute>& attributes) {
  for (const file_attribute& attribute : attributes) write_attribute(file_, attribute);
  for (std::int64_t* id : {&x_, &w_, &dimension_, &realization_}) {
    if (*id >= 0 && H5Dclose(*id) < 0) throw results_file_error("cannot close a dataset");
    *id = -1;
  }
  const hid_t file = std::exchange(file_, -1);
  checked_status(H5Fclose(file), "cannot complete the file");
}

hdf5_reader::hdf5_reader(const std::string& path) {
  quiet_errors();
  if (H5Fis_hdf5(path.c_str()) <= 0) throw results_file_error("it is not an HDF5 file");
  file_ = checked(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), "it cannot be opened as an HDF5 file");
}

hdf5_reader::~hdf5_reader() {
  if (file_ >= 0) H5Fclose(file_);
}

std::vector<file_attribute> hdf5_reader::root_attributes() const {
  std::vector<file_attribute> attributes;
  hsize_t at = 0;
  if (H5Aiterate2(file_, H5_INDEX_NAME, H5_ITER_INC, &at, collect_attribute, &attributes) < 0) {
    throw results_file_error("its attributes cannot be read");
  }
  return attributes;
}

dataset_found hdf5_reader::dataset(dataset_name dataset) const {
  dataset_found found;
  if (H5Lexists(file_, name_of(dataset), H5P_DEFAULT) <= 0) return found;
  const held opened{H5Dopen2(file_, name_of(dataset), H5P_DEFAULT), H5Dclose};
  if (opened.id < 0) return found;
  found.present = true;
  const held space{H5Dget_space(opened.id), H5Sclose};
  const int rank = space.id >= 0 ? H5Sget_simple_extent_ndims(space.id) : -1;
  hsize_t extent[2] = {0, 0};
  if (rank == 1 || rank == 2) {
    H5Sget_simple_extent_dims(space.id, extent, nullptr);
    found.rows = rank == 2 ? static_cast<std::int64_t>(extent[0]) : 0;
    found.length = static_cast<std::int64_t>(extent[rank - 1]);
    const auto attached = [&](const char* name, unsigned index) {
      if (H5Lexists(file_, name, H5P_DEFAULT) <= 0) return false;
      const held dimension{H5Dopen2(file_, name, H5P_DEFAULT), H5Dclose};
      return dimension.id >= 0 && H5DSis_attached(opened.id, dimension.id, index) > 0;
    };
    found.dimensions_of_layout =
        attached("t", static_cast<unsigned>(rank - 1)) && (rank == 1 || attached("realization", 0));
  }
  const held type{H5Dget_type(opened.id), H5Tclose};
  found.little_endian_float64 = type.id >= 0 && H5Tequal(type.id, H5T_IEEE_F64LE) > 0;
  found.little_endian_float32 = type.id >= 0 && H5Tequal(type.id, H5T_IEEE_F32LE) > 0;
  return found;
}

void hdf5_reader::read(dataset_name dataset, std::int64_t row, std::int64_t first, std::int64_t count,
                       std::size_t value_bytes, void* bytes) const {
  const held opened{checked(H5Dopen2(file_, name_of(dataset), H5P_DEFAULT), "a dataset cannot be opened"), H5Dclose};
  const held file_space{selection(opened.id, row, first, count), H5Sclose};
  const hsize_t counts[1] = {static_cast<hsize_t>(count)};
  const held memory_space{checked(H5Screate_simple(1, counts, nullptr), "a dataset cannot be read"), H5Sclose};
  const hid_t type = value_bytes == 4 ? H5T_IEEE_F32LE : H5T_IEEE_F64LE;
  checked_status(H5Dread(opened.id, type, memory_space.id, file_space.id, H5P_DEFAULT, bytes),
                 dataset == dataset_name::x ? "its values x cannot be read (truncated or damaged)"
                                            : "its weights w cannot be read (truncated or damaged)");
}

std::string hdf5_version() {
  // The version built against, from the headers: asking the library would
  // start it up, which --version has no need of.
  return "HDF5 " + std::to_string(H5_VERS_MAJOR) + "." + std::to_string(H5_VERS_MINOR) + "." +
         std::to_string(H5_VERS_RELEASE);
}

}  // namespace cascade
