// A set of enumeration members, member i being bit i, as the components keep
// their options.
#pragma once

#include <cstdint>
#include <initializer_list>

template <typename Member> class MemberSet {
public:
    constexpr MemberSet() = default;
    constexpr MemberSet(std::initializer_list<Member> members) {
        for (Member member : members)
            insert(member);
    }

    constexpr bool contains(Member member) const { return (bits_ & Bit(member)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr void insert(Member member) { bits_ |= Bit(member); }
    constexpr void erase(Member member) { bits_ &= ~Bit(member); }
    constexpr void clear() { bits_ = 0; }
    // Bit i for member i.
    constexpr std::uint32_t bits() const { return bits_; }

    constexpr MemberSet& operator+=(MemberSet other) {
        bits_ |= other.bits_;
        return *this;
    }
    constexpr MemberSet& operator-=(MemberSet other) {
        bits_ &= ~other.bits_;
        return *this;
    }
    friend constexpr MemberSet operator+(MemberSet a, MemberSet b) { return a += b; }
    friend constexpr MemberSet operator-(MemberSet a, MemberSet b) { return a -= b; }
    friend constexpr bool operator==(MemberSet a, MemberSet b) = default;

private:
    static constexpr std::uint32_t Bit(Member member) {
        return std::uint32_t{1} << static_cast<unsigned>(member);
    }
    std::uint32_t bits_ = 0;
};
