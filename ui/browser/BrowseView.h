#pragma once

#include "plugin/Catalogue.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui::views
{

/** The full-window preset browser: categories, a searchable sorted list and a detail panel with
    favourite and LOAD. The catalogue belongs to the editor and outlives the view. */
class BrowseView : public juce::Component
{
public:
    BrowseView (QuillonAudioProcessor& processor, const quillon::presets::Catalogue& catalogue);
    ~BrowseView() override;

    std::function<void()> onClose;
    std::function<void (const juce::String& presetXml)> onLoadPreset;
    /** The processor's sound or preset name changed without a LOAD: an audition began, moved or ended. */
    std::function<void()> onSoundChanged;

    /** Up, Down, Return and Escape, wherever the focus is inside the browser. */
    bool keyPressed (const juce::KeyPress&) override;
    /** Hiding the browser without LOAD puts back the sound kept before the first audition. */
    void visibilityChanged() override;
    void paint (juce::Graphics&) override;
    void resized() override;

    class Impl;
    Impl& getImpl() noexcept { return *impl; }

private:
    bool returnLoads() const;

    std::unique_ptr<Impl> impl;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BrowseView)
};

/** What tests and the editor may look at inside the browser. */
class BrowseView::Impl : public juce::Component
{
public:
    Impl (BrowseView& owner, QuillonAudioProcessor& processor, const quillon::presets::Catalogue& catalogue);
    ~Impl() override;

    void refreshList();
    void updateDetail();
    void moveSelection (int delta);
    void loadAt (int index);
    bool loadPresetIntoProcessor (const quillon::presets::Entry& entry);
    /** AUDITION on a row: plays it for now, keeping the user's sound; on the row already auditioned,
        puts the kept sound back. */
    void toggleAudition (int index);
    /** Puts back the kept sound, if an audition is on. */
    void endAudition (bool tellOwner = true);
    bool isAuditioning() const;
    /** Scrolls the list by a number of pixels, within the list. */
    void scrollListBy (int pixels);
    int getMaxScrollOffset() const;
    bool isFavourite (const quillon::presets::Entry& entry) const;
    void toggleFavourite();
    void setSearchText (const juce::String& text);
    void toggleSort();
    void selectCategory (int row);

    // Read-only views for the owner and tests.
    const std::vector<const quillon::presets::Entry*>& getFiltered() const;
    int getSelectedIndex() const;
    int getAuditionIndex() const;
    int getScrollOffset() const;
    int getSelectedCategoryRow() const;
    int getCategoryRowCount() const;
    juce::String getCategoryLabel (int row) const;
    int getCategoryCount (int row) const;
    const quillon::presets::Entry* getSelectedEntry() const noexcept { return selectedEntry; }
    juce::String getSortButtonText() const;
    bool getFavouriteButtonState() const;
    juce::Component& getList() const;
    juce::Component& getSidebar() const;
    juce::Component& getDetail() const;
    juce::TextEditor& getSearchField() const;
    juce::Button& getLoadButton() const;
    juce::Button& getFavouriteButton() const;

    void paint (juce::Graphics&) override;
    void resized() override;

    class Sidebar;
    class PresetList;
    class DetailPanel;

private:
    /** The listed entry at a row, or null where the row holds none that can be loaded. */
    const quillon::presets::Entry* loadableEntryAt (int index) const;

    BrowseView& owner;
    QuillonAudioProcessor& processor;
    const quillon::presets::Catalogue& catalogue;

    std::unique_ptr<juce::PropertiesFile> favourites;
    std::unique_ptr<Sidebar> sidebar;
    std::unique_ptr<PresetList> list;
    std::unique_ptr<DetailPanel> detail;

    juce::String searchText;
    bool sortAlphabetical = true;
    const quillon::presets::Entry* selectedEntry = nullptr;
    const quillon::presets::Entry* auditionedEntry = nullptr;
};

} // namespace quillon::ui::views
