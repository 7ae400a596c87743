// Typed access to the fields of a PointCloud2, and a helper that lays out its fields.
//
//   sensor_msgs::PointCloud2Modifier modifier(cloud);
//   modifier.setPointCloud2FieldsByString(1, "xyz");
//   modifier.resize(n);
//   sensor_msgs::PointCloud2Iterator<float> x(cloud, "x");
//   for (; x != x.end(); ++x) {*x = 0.0f;}
//
// An iterator points at one field of one point and steps by point_step. end() is the field's
// position one point past the last byte of data, so data must hold a whole number of points.
#ifndef SENSOR_MSGS__POINT_CLOUD2_ITERATOR_HPP_
#define SENSOR_MSGS__POINT_CLOUD2_ITERATOR_HPP_

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "sensor_msgs/msg/point_cloud2.hpp"

namespace sensor_msgs {

namespace impl {

// Size in bytes of one element of a PointField datatype; throws for an unknown datatype.
inline int sizeOfPointField(int datatype)
{
  switch (datatype) {
    case sensor_msgs::msg::PointField::INT8:
    case sensor_msgs::msg::PointField::UINT8:
      return 1;
    case sensor_msgs::msg::PointField::INT16:
    case sensor_msgs::msg::PointField::UINT16:
      return 2;
    case sensor_msgs::msg::PointField::INT32:
    case sensor_msgs::msg::PointField::UINT32:
    case sensor_msgs::msg::PointField::FLOAT32:
      return 4;
    case sensor_msgs::msg::PointField::FLOAT64:
      return 8;
    default:
      throw std::runtime_error(
          "PointField of type " + std::to_string(datatype) + " does not exist");
  }
}

// Appends a field at offset and returns the offset right after it.
inline int addPointField(
    sensor_msgs::msg::PointCloud2 & cloud_msg,
    const std::string & name,
    int count,
    int datatype,
    int offset)
{
  sensor_msgs::msg::PointField point_field;
  point_field.name = name;
  point_field.count = static_cast<uint32_t>(count);
  point_field.datatype = static_cast<uint8_t>(datatype);
  point_field.offset = static_cast<uint32_t>(offset);
  cloud_msg.fields.push_back(point_field);
  return offset + count * sizeOfPointField(datatype);
}

}  // namespace impl

/// Lays out the fields of a PointCloud2 and sizes its data. Keeps a reference to the message.
class PointCloud2Modifier
{
public:
  explicit PointCloud2Modifier(sensor_msgs::msg::PointCloud2 & cloud_msg) : cloud_msg_(cloud_msg) {}

  /// Number of points held in data (data size / point_step).
  size_t size() const { return cloud_msg_.data.size() / cloud_msg_.point_step; }

  /// Reserves data for size points.
  void reserve(size_t size) { cloud_msg_.data.reserve(size * cloud_msg_.point_step); }

  /// Resizes data to size points. An unorganised cloud (height 1) keeps height 1; a single
  /// column (width 1) keeps width 1; anything else becomes an unorganised cloud of size points.
  void resize(size_t size)
  {
    cloud_msg_.data.resize(size * cloud_msg_.point_step);
    if (cloud_msg_.height == 1) {
      cloud_msg_.width = static_cast<uint32_t>(size);
      cloud_msg_.row_step = static_cast<uint32_t>(size * cloud_msg_.point_step);
    } else if (cloud_msg_.width == 1) {
      cloud_msg_.height = static_cast<uint32_t>(size);
    } else {
      cloud_msg_.height = 1;
      cloud_msg_.width = static_cast<uint32_t>(size);
      cloud_msg_.row_step = static_cast<uint32_t>(size * cloud_msg_.point_step);
    }
  }

  /// Drops all points, adjusting the dimensions as resize(0) would.
  void clear()
  {
    cloud_msg_.data.clear();
    if (cloud_msg_.height == 1) {
      cloud_msg_.row_step = cloud_msg_.width = 0;
    } else if (cloud_msg_.width == 1) {
      cloud_msg_.height = 0;
    } else {
      cloud_msg_.row_step = cloud_msg_.width = cloud_msg_.height = 0;
    }
  }

  /// Replaces the fields with n_fields triplets (const char * name, int count, int datatype),
  /// packed without padding, then resizes data for the current width and height.
  void setPointCloud2Fields(int n_fields, ...)
  {
    cloud_msg_.fields.clear();
    cloud_msg_.fields.reserve(static_cast<size_t>(n_fields));
    va_list vl;
    va_start(vl, n_fields);
    int offset = 0;
    for (int i = 0; i < n_fields; ++i) {
      std::string name(va_arg(vl, const char *));
      int count = va_arg(vl, int);
      int datatype = va_arg(vl, int);
      try {
        offset = impl::addPointField(cloud_msg_, name, count, datatype, offset);
      } catch (...) {
        va_end(vl);
        throw;
      }
    }
    va_end(vl);
    applyPointStep(offset);
  }

  /// Replaces the fields with n_fields named groups: "xyz" (three FLOAT32 plus 4 bytes of padding)
  /// and "rgb" / "rgba" (one FLOAT32 plus 12 bytes of padding). Any other name throws
  /// std::runtime_error("Field <name> does not exist").
  void setPointCloud2FieldsByString(int n_fields, ...)
  {
    using sensor_msgs::msg::PointField;
    cloud_msg_.fields.clear();
    cloud_msg_.fields.reserve(static_cast<size_t>(n_fields));
    va_list vl;
    va_start(vl, n_fields);
    int offset = 0;
    for (int i = 0; i < n_fields; ++i) {
      std::string field_name(va_arg(vl, const char *));
      if (field_name == "xyz") {
        offset = impl::addPointField(cloud_msg_, "x", 1, PointField::FLOAT32, offset);
        offset = impl::addPointField(cloud_msg_, "y", 1, PointField::FLOAT32, offset);
        offset = impl::addPointField(cloud_msg_, "z", 1, PointField::FLOAT32, offset);
        offset += impl::sizeOfPointField(PointField::FLOAT32);
      } else if (field_name == "rgb" || field_name == "rgba") {
        offset = impl::addPointField(cloud_msg_, field_name, 1, PointField::FLOAT32, offset);
        offset += 3 * impl::sizeOfPointField(PointField::FLOAT32);
      } else {
        va_end(vl);
        throw std::runtime_error("Field " + field_name + " does not exist");
      }
    }
    va_end(vl);
    applyPointStep(offset);
  }

protected:
  sensor_msgs::msg::PointCloud2 & cloud_msg_;

private:
  void applyPointStep(int point_step)
  {
    cloud_msg_.point_step = static_cast<uint32_t>(point_step);
    cloud_msg_.row_step = cloud_msg_.width * cloud_msg_.point_step;
    cloud_msg_.data.resize(static_cast<size_t>(cloud_msg_.height) * cloud_msg_.row_step);
  }
};

namespace impl {

/// Shared part of the mutable and the const iterator.
/// T: field type; TT: T or const T; U: byte type (const or not); C: cloud type (const or not);
/// V: the derived iterator template.
template <typename T, typename TT, typename U, typename C, template <typename> class V>
class PointCloud2IteratorBase
{
public:
  PointCloud2IteratorBase()
      : point_step_(0),
        data_char_(nullptr),
        data_(nullptr),
        data_end_(nullptr),
        is_bigendian_(false)
  {
  }

  /// Points at field_name of the first point. Throws std::runtime_error("Field <name> does not
  /// exist") when the cloud has no such field. "r", "g", "b" and "a" address the bytes of an
  /// "rgb" / "rgba" field.
  PointCloud2IteratorBase(C & cloud_msg, const std::string & field_name)
  {
    const int offset = set_field(cloud_msg, field_name);
    if (cloud_msg.data.empty()) {
      // No points: begin and end coincide and nothing is ever dereferenced.
      data_char_ = nullptr;
      data_ = nullptr;
      data_end_ = nullptr;
      return;
    }
    data_char_ = cloud_msg.data.data() + offset;
    data_ = reinterpret_cast<TT *>(data_char_);
    data_end_ = reinterpret_cast<TT *>(cloud_msg.data.data() + cloud_msg.data.size() + offset);
  }

  /// The i-th element of the field at the current point (fields with count > 1).
  TT & operator[](size_t i) const { return *(data_ + i); }

  /// The field's first element at the current point.
  TT & operator*() const { return *data_; }

  /// Moves to the next point.
  V<T> & operator++()
  {
    data_char_ += point_step_;
    data_ = reinterpret_cast<TT *>(data_char_);
    return *static_cast<V<T> *>(this);
  }

  /// A copy moved i points on.
  V<T> operator+(int i)
  {
    V<T> res = *static_cast<V<T> *>(this);
    res.data_char_ += i * point_step_;
    res.data_ = reinterpret_cast<TT *>(res.data_char_);
    return res;
  }

  /// Moves i points on.
  V<T> & operator+=(int i)
  {
    data_char_ += i * point_step_;
    data_ = reinterpret_cast<TT *>(data_char_);
    return *static_cast<V<T> *>(this);
  }

  /// Compares positions only (the end iterator differs in its element pointer alone).
  bool operator!=(const V<T> & iter) const { return iter.data_ != data_; }

  /// The iterator one point past the last point.
  V<T> end() const
  {
    V<T> res = *static_cast<const V<T> *>(this);
    res.data_ = data_end_;
    return res;
  }

private:
  int set_field(const sensor_msgs::msg::PointCloud2 & cloud_msg, const std::string & field_name)
  {
    is_bigendian_ = cloud_msg.is_bigendian;
    point_step_ = static_cast<int>(cloud_msg.point_step);
    for (const auto & field : cloud_msg.fields) {
      if (field.name == field_name) {
        return static_cast<int>(field.offset);
      }
    }
    // Colour channels are the bytes of a packed rgb / rgba field.
    if (field_name == "r" || field_name == "g" || field_name == "b" || field_name == "a") {
      for (const auto & field : cloud_msg.fields) {
        if (field.name == "rgb" || field.name == "rgba") {
          const int base = static_cast<int>(field.offset);
          if (field_name == "r") {
            return base + (is_bigendian_ ? 1 : 2);
          }
          if (field_name == "g") {
            return base + (is_bigendian_ ? 2 : 1);
          }
          if (field_name == "b") {
            return base + (is_bigendian_ ? 3 : 0);
          }
          return base + (is_bigendian_ ? 0 : 3);
        }
      }
    }
    throw std::runtime_error("Field " + field_name + " does not exist");
  }

  int point_step_;
  U * data_char_;
  TT * data_;
  TT * data_end_;
  bool is_bigendian_;
};

}  // namespace impl

/// Read-write iterator over one field of a PointCloud2.
template <typename T>
class PointCloud2Iterator : public impl::PointCloud2IteratorBase<
                                T,
                                T,
                                unsigned char,
                                sensor_msgs::msg::PointCloud2,
                                PointCloud2Iterator>
{
public:
  PointCloud2Iterator(sensor_msgs::msg::PointCloud2 & cloud_msg, const std::string & field_name)
      : impl::PointCloud2IteratorBase<
            T,
            T,
            unsigned char,
            sensor_msgs::msg::PointCloud2,
            PointCloud2Iterator>::PointCloud2IteratorBase(cloud_msg, field_name)
  {
  }
};

/// Read-only iterator over one field of a PointCloud2.
template <typename T>
class PointCloud2ConstIterator : public impl::PointCloud2IteratorBase<
                                     T,
                                     const T,
                                     const unsigned char,
                                     const sensor_msgs::msg::PointCloud2,
                                     PointCloud2ConstIterator>
{
public:
  PointCloud2ConstIterator(
      const sensor_msgs::msg::PointCloud2 & cloud_msg, const std::string & field_name)
      : impl::PointCloud2IteratorBase<
            T,
            const T,
            const unsigned char,
            const sensor_msgs::msg::PointCloud2,
            PointCloud2ConstIterator>::PointCloud2IteratorBase(cloud_msg, field_name)
  {
  }
};

}  // namespace sensor_msgs

#endif  // SENSOR_MSGS__POINT_CLOUD2_ITERATOR_HPP_
